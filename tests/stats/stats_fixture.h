#pragma once
// A database file of its own for every test, with the schema, the look-up indexes and the row
// builders.
#include <gtest/gtest.h>

#include "storage/schema.h"
#include "testing/results_rows.h"
#include "testing/temp_dir.h"

namespace zb::stats::testing {

struct DatabaseFile {
    DatabaseFile() {
        storage::CreateSchema(file);
        storage::EnsureLookupIndexes(file);
    }
    zb::testing::TempDir dir;
    storage::TSQLiteDatabase file{(dir / "ZarnicBox.db").string()};
};

class StatsDb : public DatabaseFile, public zb::testing::ResultsRows {
  public:
    StatsDb() : ResultsRows(file) {}
    storage::TSQLiteDatabase& db() { return file; }
};

}  // namespace zb::stats::testing
