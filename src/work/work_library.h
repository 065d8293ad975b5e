#pragma once
// The work library: works (rows of WorkLib) and their requests (rows of Task) as the library
// editor stores and reads them, and the rules of the editor's ZARNIC page, which turn the
// catalogue's variables into the choices an operator is offered. The page widgets only copy
// these choices onto the screen and hand back what the operator picked.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "work/work_xml.h"

namespace zb::storage {
class TSQLiteDatabase;
}
namespace zb::devices {
class TNodeEntry;
class TVar;
}  // namespace zb::devices

namespace zb::work {

// ---- rows ----

// A node of the library tree: the row's key and its text (name, and " [comment]").
struct LibraryNode {
    int64_t uid = 0;
    std::string text;
};
struct LibraryWork {
    LibraryNode node;
    std::vector<LibraryNode> tasks;
};

// Every work with its requests, in database order (the library and dispatch trees).
std::vector<LibraryWork> LoadWorkLibrary(storage::TSQLiteDatabase& db);

// What a build gives a row: name, comment and XML (plain texts; stored in the stored text form).
struct RowTexts {
    std::string name;
    std::string comment;
    std::string xml;
};
RowTexts WorkRow(const WorkDefinition& work);
RowTexts TaskRow(const TaskRequest& task);

int64_t InsertWork(storage::TSQLiteDatabase& db, const RowTexts& row);
void UpdateWork(storage::TSQLiteDatabase& db, int64_t uid, const RowTexts& row);
int64_t InsertTask(storage::TSQLiteDatabase& db, int64_t workUid, const RowTexts& row);
// The work a request belongs to is never changed.
void UpdateTask(storage::TSQLiteDatabase& db, int64_t uid, const RowTexts& row);
// The decoded XML of a row; none when the row is gone.
std::optional<std::string> ReadWorkXmlText(storage::TSQLiteDatabase& db, int64_t uid);
std::optional<std::string> ReadTaskXmlText(storage::TSQLiteDatabase& db, int64_t uid);
// A work goes with all its requests; a request never takes its work with it.
void DeleteWork(storage::TSQLiteDatabase& db, int64_t uid);
void DeleteTask(storage::TSQLiteDatabase& db, int64_t uid);

// ---- the ZARNIC page ----

inline constexpr const char* kActionRead = "Чтение";
inline constexpr const char* kActionWrite = "Запись";
// Access levels of 8 and above forbid the operation.
inline constexpr int32_t kNoAccessLevel = 8;

// A top-level entry of the catalogue, as the group list shows it.
struct CatalogueGroup {
    std::string name;
    devices::TNodeEntry* entry = nullptr;
};
std::vector<CatalogueGroup> CatalogueGroups();
// What the variable list shows for a variable: its caption, or its name when it has none.
std::string VariableCaption(const devices::TVar& var);

// "Чтение" when the read level is below 8, then "Запись" when the write level is.
std::vector<std::string> ActionItems(const devices::TVar& var);
// Variables of the type named "event" are read as their event log only.
bool IsEventVariable(const devices::TVar& var);
// The archive types offered for a variable: the single LOG item for an event variable.
std::vector<std::string> ArchiveTypeItems(const devices::TVar& var);

// Everything the ZARNIC page shows: list contents, choices, and which parts are shown and
// enabled. Indexes are -1 when nothing is chosen.
struct ZarnicPage {
    int group = -1;
    std::vector<devices::TVar*> variables;
    int variable = -1;
    bool archiveTarget = false;
    bool targetEnabled = true;
    std::vector<std::string> actions;
    int action = -1;
    bool actionEnabled = true;
    bool newValueShown = false;
    std::string newValue;
    bool archiveShown = false;
    std::vector<std::string> archiveTypes;
    int archiveType = -1;
    bool archiveTypeEnabled = true;
    bool accumulationShown = false;
    int accumulationFactor = 1;
    std::string accumulationCode = "DAY";
    std::string start = "DAY-1";
    std::string stop = "DAY";
    // Set when a stored request names a variable the catalogue does not have: its name, shown
    // with a remark instead of the fields.
    std::string missingVariable;

    devices::TVar* SelectedVariable() const;
};

// The ZARNIC page's change handlers: each does what the page does when the operator makes that
// choice, including the handlers it sets off in turn.
class ZarnicEditor {
  public:
    explicit ZarnicEditor(std::vector<CatalogueGroup> groups);

    const std::vector<CatalogueGroup>& groups() const { return groups_; }
    const ZarnicPage& page() const { return page_; }
    // For the typed fields: new value, start, stop, accumulation factor and code.
    ZarnicPage& fields() { return page_; }

    // A new request: the first group, current value, start "DAY-1", stop "DAY".
    void Reset();
    void ChangeGroup(int index);
    void ChangeVariable(int index);
    void ChangeTarget(bool archive);
    void ChangeAction(int index);
    void ChangeArchiveType(int index);

    // The request the page describes. Throws std::out_of_range, with a text for the operator,
    // when no variable or no action is chosen (nothing can be stored then).
    TaskRequest Build(int maxAttempts) const;
    // Loads a stored ZARNIC request; false (and missingVariable set) when its variable is not
    // in the catalogue.
    bool Load(const StoredTask& task);

  private:
    std::vector<CatalogueGroup> groups_;
    ZarnicPage page_;
};

}  // namespace zb::work
