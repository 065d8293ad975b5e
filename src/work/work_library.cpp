#include "work/work_library.h"

#include <algorithm>
#include <stdexcept>

#include "devices/catalogue.h"
#include "devices/parameter_model.h"
#include "storage/sqlite_database.h"
#include "storage/stored_text.h"

namespace zb::work {

using storage::SqlInt;
using storage::SqlText;
using storage::StoredTextDecode;

namespace {

std::vector<LibraryNode> QueryNodes(storage::TSQLiteDatabase& db, const std::string& sql) {
    std::vector<LibraryNode> nodes;
    auto rows = db.QueryTable(sql);
    nodes.reserve(rows->RowCount());
    for (; !rows->AtEnd(); rows->Next()) {
        nodes.push_back({rows->FieldInt64(0), NodeText(StoredTextDecode(rows->FieldText(1)),
                                                       StoredTextDecode(rows->FieldText(2)))});
    }
    return nodes;
}

std::optional<std::string> ReadXml(storage::TSQLiteDatabase& db, const std::string& sql) {
    auto rows = db.QueryTable(sql);
    if (rows->AtEnd()) {
        return std::nullopt;
    }
    return StoredTextDecode(rows->FieldText(0));
}

int IndexOf(const std::vector<std::string>& items, std::string_view item) {
    const auto found = std::find(items.begin(), items.end(), item);
    return found == items.end() ? -1 : static_cast<int>(found - items.begin());
}

// The top-level entry of the catalogue that holds the variable (the variable itself when it
// stands at the top).
const devices::TNodeEntry* GroupEntryOf(const devices::TVar& var) {
    const devices::TNodeEntry* entry = &var;
    while (entry->Owner() != nullptr && entry->Owner() != &devices::VarRoot()) {
        entry = entry->Owner();
    }
    return entry;
}

// The variables of a group in the catalogue's depth-first order: those directly under it and
// those of the groups built inside it (a variable at the top is a group of its own).
void CollectVariables(devices::TNodeEntry& entry, std::vector<devices::TVar*>& vars) {
    if (entry.Class() == devices::EntryClass::Var) {
        vars.push_back(static_cast<devices::TVar*>(&entry));
        return;
    }
    for (size_t i = 0; i < entry.ChildCount(); ++i) {
        devices::TNodeEntry& child = *entry.Child(i);
        if (child.Class() == devices::EntryClass::Var ||
            child.Class() == devices::EntryClass::VarHeader) {
            CollectVariables(child, vars);
        }
    }
}

}  // namespace

// ---- rows ----

std::vector<LibraryWork> LoadWorkLibrary(storage::TSQLiteDatabase& db) {
    std::vector<LibraryWork> works;
    for (LibraryNode& node : QueryNodes(db, "SELECT UID,Name,Comment from WorkLib")) {
        LibraryWork work{std::move(node), {}};
        work.tasks = QueryNodes(
            db, "SELECT UID,Name,Comment from Task WHERE WorkLibUID = " + SqlInt(work.node.uid));
        works.push_back(std::move(work));
    }
    return works;
}

RowTexts WorkRow(const WorkDefinition& work) {
    return {WorkRowName(work), WorkRowComment(work), BuildWorkXml(work)};
}

RowTexts TaskRow(const TaskRequest& task) {
    return {TaskRowName(task), TaskRowComment(task), BuildTaskXml(task)};
}

int64_t InsertWork(storage::TSQLiteDatabase& db, const RowTexts& row) {
    return db.InsertSql("INSERT into WorkLib (Name,Comment,XML) values(" + SqlText(row.name) + "," +
                        SqlText(row.comment) + "," + SqlText(row.xml) + ")");
}

void UpdateWork(storage::TSQLiteDatabase& db, int64_t uid, const RowTexts& row) {
    db.ExecuteSql("UPDATE WorkLib set Name      = " + SqlText(row.name) +
                  ", Comment   = " + SqlText(row.comment) + ", XML       = " + SqlText(row.xml) +
                  " WHERE UID = " + SqlInt(uid));
}

int64_t InsertTask(storage::TSQLiteDatabase& db, int64_t workUid, const RowTexts& row) {
    return db.InsertSql("INSERT into Task (Name,WorkLibUID,Comment,XML) values(" +
                        SqlText(row.name) + "," + SqlInt(workUid) + "," + SqlText(row.comment) +
                        "," + SqlText(row.xml) + ")");
}

void UpdateTask(storage::TSQLiteDatabase& db, int64_t uid, const RowTexts& row) {
    db.ExecuteSql("UPDATE Task set  Name      = " + SqlText(row.name) +
                  ", Comment   = " + SqlText(row.comment) + ", XML       = " + SqlText(row.xml) +
                  " WHERE UID = " + SqlInt(uid));
}

std::optional<std::string> ReadWorkXmlText(storage::TSQLiteDatabase& db, int64_t uid) {
    return ReadXml(db, "SELECT XML from WorkLib WHERE UID = " + SqlInt(uid));
}

std::optional<std::string> ReadTaskXmlText(storage::TSQLiteDatabase& db, int64_t uid) {
    return ReadXml(db, "SELECT XML from Task WHERE UID = " + SqlInt(uid));
}

void DeleteWork(storage::TSQLiteDatabase& db, int64_t uid) {
    db.ExecuteSql("DELETE from Task WHERE WorkLibUID = " + SqlInt(uid));
    db.ExecuteSql("DELETE from WorkLib WHERE UID = " + SqlInt(uid));
}

void DeleteTask(storage::TSQLiteDatabase& db, int64_t uid) {
    db.ExecuteSql("DELETE from Task WHERE UID = " + SqlInt(uid));
}

// ---- the ZARNIC page ----

std::vector<CatalogueGroup> CatalogueGroups() {
    std::vector<CatalogueGroup> groups;
    for (devices::TNodeEntry* entry : devices::CatalogueClasses()) {
        groups.push_back({entry->Title(), entry});
    }
    return groups;
}

std::string VariableCaption(const devices::TVar& var) {
    return var.Caption().empty() ? var.Title() : var.Caption();
}

std::vector<std::string> ActionItems(const devices::TVar& var) {
    std::vector<std::string> items;
    if (var.ReadLevel() < kNoAccessLevel) {
        items.emplace_back(kActionRead);
    }
    if (var.WriteLevel() < kNoAccessLevel) {
        items.emplace_back(kActionWrite);
    }
    return items;
}

bool IsEventVariable(const devices::TVar& var) {
    return devices::TypeName(var.TypeCode()) == "event";
}

std::vector<std::string> ArchiveTypeItems(const devices::TVar& var) {
    if (IsEventVariable(var)) {
        return {EventArchiveCaption()};
    }
    return ArchiveTypeCaptions();
}

devices::TVar* ZarnicPage::SelectedVariable() const {
    return variable >= 0 && variable < static_cast<int>(variables.size()) ? variables[variable]
                                                                          : nullptr;
}

ZarnicEditor::ZarnicEditor(std::vector<CatalogueGroup> groups) : groups_(std::move(groups)) {}

void ZarnicEditor::Reset() {
    page_ = ZarnicPage{};
    ChangeGroup(groups_.empty() ? -1 : 0);
    ChangeTarget(false);
    page_.newValue.clear();
}

void ZarnicEditor::ChangeGroup(int index) {
    page_.missingVariable.clear();
    page_.group = index;
    page_.variables.clear();
    if (index >= 0 && index < static_cast<int>(groups_.size())) {
        CollectVariables(*groups_[index].entry, page_.variables);
    }
    page_.archiveTarget = false;
    // The first variable that can be read or written: a group may begin with one that neither
    // level allows (the service key), and a new request would then start from a dead end.
    const auto& vars = page_.variables;
    const auto requestable = std::find_if(
        vars.begin(), vars.end(), [](devices::TVar* var) { return !ActionItems(*var).empty(); });
    ChangeVariable(vars.empty()                ? -1
                   : requestable == vars.end() ? 0
                                               : static_cast<int>(requestable - vars.begin()));
}

void ZarnicEditor::ChangeVariable(int index) {
    page_.variable = index;
    const devices::TVar* var = page_.SelectedVariable();
    page_.targetEnabled = true;
    ChangeTarget(false);
    page_.actions = var != nullptr ? ActionItems(*var) : std::vector<std::string>{};
    ChangeAction(page_.actions.empty() ? -1 : 0);
    if (var == nullptr) {
        page_.archiveTypes.clear();
        page_.archiveType = -1;
        return;
    }
    page_.archiveTypes = ArchiveTypeItems(*var);
    page_.archiveTypeEnabled = !IsEventVariable(*var);
    ChangeArchiveType(0);
    if (IsEventVariable(*var)) {
        ChangeTarget(true);
        page_.targetEnabled = false;
    }
}

void ZarnicEditor::ChangeTarget(bool archive) {
    page_.archiveTarget = archive;
    page_.action = page_.actions.empty() ? -1 : 0;
    page_.actionEnabled = !archive;
    page_.newValueShown = false;
    page_.archiveShown = archive;
    // Back on the current value, the first action decides again whether a value is typed.
    if (!archive) {
        ChangeAction(page_.action);
    }
}

void ZarnicEditor::ChangeAction(int index) {
    page_.action = index;
    page_.newValue.clear();
    if (index < 0 || index >= static_cast<int>(page_.actions.size())) {
        page_.newValueShown = false;
        return;
    }
    if (page_.actions[index] == kActionRead) {
        page_.targetEnabled = true;
        const devices::TVar* var = page_.SelectedVariable();
        page_.newValueShown = var != nullptr && devices::IsFunctionType(var->TypeCode());
    } else {
        page_.targetEnabled = false;
        page_.newValueShown = true;
    }
}

void ZarnicEditor::ChangeArchiveType(int index) {
    page_.archiveType = index;
    const std::string code = index >= 0 && index < static_cast<int>(page_.archiveTypes.size())
                                 ? ArchiveTypeCode(page_.archiveTypes[index])
                                 : std::string();
    page_.accumulationShown = code.starts_with("I");
    if (page_.accumulationShown) {
        page_.accumulationFactor = 1;
        page_.accumulationCode = IntervalCodes().front();
    }
}

TaskRequest ZarnicEditor::Build(int maxAttempts) const {
    const devices::TVar* var = page_.SelectedVariable();
    if (var == nullptr) {
        throw std::out_of_range("Параметр не выбран.");
    }
    if (page_.action < 0 || page_.action >= static_cast<int>(page_.actions.size())) {
        throw std::out_of_range("Параметр \"" + VariableCaption(*var) +
                                "\" недоступен ни для чтения, ни для записи.");
    }
    TaskRequest task;
    task.syntax = std::string(kSyntaxZarnic);
    task.var = var->Title();
    task.opCode = page_.archiveTarget                          ? "AR"
                  : page_.actions[page_.action] == kActionRead ? "R"
                                                               : "W";
    if (page_.newValueShown) {
        task.newValue = page_.newValue;
    }
    if (page_.archiveType >= 0 && page_.archiveType < static_cast<int>(page_.archiveTypes.size())) {
        task.arcType = ArchiveTypeCode(page_.archiveTypes[page_.archiveType]);
    }
    task.arcInterval = FactorText(page_.accumulationFactor, page_.accumulationCode);
    task.start = page_.start;
    task.stop = page_.stop;
    task.maxAttempts = maxAttempts;
    return task;
}

bool ZarnicEditor::Load(const StoredTask& task) {
    devices::TVar* var = devices::FindVarByTitle(devices::VarRoot(), task.var);
    const devices::TNodeEntry* groupEntry = var != nullptr ? GroupEntryOf(*var) : nullptr;
    const auto group = std::find_if(groups_.begin(), groups_.end(),
                                    [&](const CatalogueGroup& g) { return g.entry == groupEntry; });
    if (var == nullptr || group == groups_.end()) {
        page_ = ZarnicPage{};
        page_.missingVariable = task.var;
        return false;
    }
    ChangeGroup(static_cast<int>(group - groups_.begin()));
    const auto position = std::find(page_.variables.begin(), page_.variables.end(), var);
    ChangeVariable(static_cast<int>(position - page_.variables.begin()));
    if (task.opCode == "AR") {
        ChangeTarget(true);
        page_.archiveTypes = task.arcType == "LOG" ? std::vector<std::string>{EventArchiveCaption()}
                                                   : ArchiveTypeCaptions();
        const auto type = std::find_if(
            page_.archiveTypes.begin(), page_.archiveTypes.end(),
            [&](const std::string& caption) { return caption.starts_with(task.arcType); });
        ChangeArchiveType(type == page_.archiveTypes.end()
                              ? -1
                              : static_cast<int>(type - page_.archiveTypes.begin()));
        const FactorCode interval = SplitPeriod(task.arcInterval);
        if (interval.factor) {
            page_.accumulationFactor = *interval.factor;
        }
        page_.accumulationCode = interval.code;
        page_.start = task.start;
        page_.stop = task.stop;
    } else {
        ChangeTarget(false);
        const int action = IndexOf(page_.actions, task.opCode == "W" ? kActionWrite : kActionRead);
        ChangeAction(action);
    }
    page_.newValue = task.text;
    return true;
}

}  // namespace zb::work
