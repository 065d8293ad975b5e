#include "admin/common.h"

#include "storage/sqlite_database.h"
#include "storage/stored_text.h"

namespace zb::admin {

std::string NodeText(const std::string& name, const std::string& comment) {
    return comment.empty() ? name : name + " [" + comment + "]";
}

std::vector<Row> QueryRows(storage::TSQLiteDatabase& db, const std::string& sql) {
    std::vector<Row> rows;
    auto table = db.QueryTable(sql);
    while (!table->AtEnd()) {
        rows.push_back({table->FieldInt64(0), storage::StoredTextDecode(table->FieldText(1))});
        table->Next();
    }
    return rows;
}

std::vector<std::pair<std::string, std::string>> SplitValueLines(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> pairs;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty()) {
            const size_t eq = line.find('=');
            if (eq == std::string::npos) {
                pairs.emplace_back(line, std::string());
            } else {
                pairs.emplace_back(line.substr(0, eq), line.substr(eq + 1));
            }
        }
        start = end + 1;
    }
    return pairs;
}

}  // namespace zb::admin
