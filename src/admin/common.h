#pragma once
// Pieces shared by the register pages: the rows a tree or list is filled with, the text of a
// node, and the outcome of an add.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zb::storage {
class TSQLiteDatabase;
}

namespace zb::admin {

// The save button's caption is the page's mode: a new row is being entered, or one is edited.
inline constexpr const char* kModeAdd = "Добавить";
inline constexpr const char* kModeSave = "Сохранить";

// One row of a register as a tree node or list item shows it: its key and its decoded text.
struct Row {
    int64_t uid = 0;
    std::string text;
};

// A node text: the name, followed by " [" + comment + "]" when the comment is not empty.
std::string NodeText(const std::string& name, const std::string& comment);

// Runs a query of the form "SELECT UID,Name ..." and returns each row's key and decoded name.
std::vector<Row> QueryRows(storage::TSQLiteDatabase& db, const std::string& sql);

// What an add did: either the key of the new row, or the warning that refused it (nothing was
// written then).
struct AddResult {
    int64_t uid = 0;
    std::string warning;
    bool Added() const { return warning.empty(); }
    static AddResult NewRow(int64_t uid) { return {uid, {}}; }
    static AddResult Refused(std::string text) { return {0, std::move(text)}; }
};

// Splits a text of CR LF (or LF) separated "name=value" lines into pairs for a two-column value
// list. A line without "=" becomes a name with an empty value; empty lines are skipped.
std::vector<std::pair<std::string, std::string>> SplitValueLines(const std::string& text);

}  // namespace zb::admin
