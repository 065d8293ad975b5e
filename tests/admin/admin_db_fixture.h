#pragma once
// A real database file with the program's schema in a temporary directory, and helpers to count
// and read rows.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "storage/schema.h"
#include "storage/sqlite_database.h"
#include "testing/temp_dir.h"

namespace zb::testing {

class AdminDbTest : public ::testing::Test {
  protected:
    void SetUp() override {
        bool created = false;
        db_ = storage::OpenProgramDatabase((dir_ / "ZarnicBox.db").string(), created);
        ASSERT_TRUE(created);
    }

    int64_t Count(const std::string& table, const std::string& where = "") {
        auto t = db_->QueryTable("SELECT COUNT(*) from " + table +
                                 (where.empty() ? "" : " WHERE ") + where);
        return t->FieldInt64(0);
    }

    // The raw stored text of one cell.
    std::string Cell(const std::string& sql) {
        auto t = db_->QueryTable(sql);
        return t->AtEnd() ? std::string("<no row>") : t->FieldText(0);
    }

    TempDir dir_;
    std::unique_ptr<storage::TSQLiteDatabase> db_;
};

}  // namespace zb::testing
