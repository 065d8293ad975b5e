#include "devices/catalogue.h"

#include <dlfcn.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <map>
#include <stdexcept>

#include "base/log.h"
#include "base/operator_messages.h"
#include "base/program.h"
#include "base/text.h"
#include "devices/value_formats.h"
#include "xml/xml_tree.h"

namespace zb::devices {

namespace fs = std::filesystem;
using base::LogLine;

namespace {

struct CatalogueState {
    fs::path dir;
    bool dirSet = false;
    std::unique_ptr<TTreeEntry> root = std::make_unique<TTreeEntry>();
    void* baseModule = nullptr;
    std::map<std::string, void*> libraries;  // file name -> handle, as loaded by the catalogue
};

CatalogueState& State() {
    static CatalogueState state;
    return state;
}

std::string Hex4(uint32_t value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04X", value);
    return buf;
}

// A decimal attribute: optional blanks, an optional sign and digits, within 32 bits.
int32_t ParseDecimal(const std::string& name, const std::string& text) {
    const std::string t = base::Trim(text);
    size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        negative = t[i] == '-';
        ++i;
    }
    if (i == t.size()) {
        throw std::invalid_argument(name + ": \"" + text + "\" is not a valid integer value");
    }
    int64_t value = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < '0' || t[i] > '9') {
            throw std::invalid_argument(name + ": \"" + text + "\" is not a valid integer value");
        }
        value = value * 10 + (t[i] - '0');
        if (value > static_cast<int64_t>(INT32_MAX) + 1) {
            throw std::invalid_argument(name + ": \"" + text + "\" is out of range");
        }
    }
    value = negative ? -value : value;
    if (value > INT32_MAX) {
        throw std::invalid_argument(name + ": \"" + text + "\" is out of range");
    }
    return static_cast<int32_t>(value);
}

std::string Param(const xml::TXMLItem* item, std::string_view name, std::string_view def) {
    std::string value;
    xml::ReadParam(item, name, def, value);
    return value;
}

void* Symbol(void* library, const std::string& name) {
    // dlsym with a null handle would search the whole process; a missing library has no exports.
    if (library == nullptr || name.empty()) {
        return nullptr;
    }
    return dlsym(library, name.c_str());
}

template <class Proc>
Proc AsProc(void* symbol) {
    return reinterpret_cast<Proc>(symbol);
}

struct RoleName {
    const char* attribute;
    const char* defaultName;
};

// The roles in the order the extension file applies them.
constexpr RoleName kExtensionRoles[] = {
    {"FC", "PlainFC"}, {"WE", "PlainWE"}, {"WD", "PlainWD"}, {"ALC", "PlainALC"},
    {"RD", "PlainRD"}, {"RE", "PlainRE"}, {"ED", "PlainED"},
};

void SetProc(TVarProcs& procs, std::string_view role, void* symbol) {
    if (role == "RE") {
        procs.RE = AsProc<ZbOperationProc>(symbol);
    } else if (role == "FC") {
        procs.FC = AsProc<ZbOperationProc>(symbol);
    } else if (role == "WE") {
        procs.WE = AsProc<ZbOperationProc>(symbol);
    } else if (role == "ALC") {
        procs.ALC = AsProc<ZbOperationProc>(symbol);
    } else if (role == "RD") {
        procs.RD = AsProc<ZbTextProc>(symbol);
    } else if (role == "WD") {
        procs.WD = AsProc<ZbTextProc>(symbol);
    } else if (role == "ED") {
        procs.ED = AsProc<ZbTextProc>(symbol);
    }
}

// Group look-up: only group headers qualify, so a variable is never moved under a variable or
// under itself.
TVarHeader* FindGroup(TNodeEntry& entry, std::string_view title) {
    if (entry.Class() == EntryClass::VarHeader && entry.Title() == title) {
        return static_cast<TVarHeader*>(&entry);
    }
    for (size_t i = 0; i < entry.ChildCount(); ++i) {
        if (TVarHeader* found = FindGroup(*entry.Child(i), title)) {
            return found;
        }
    }
    return nullptr;
}

void PlaceInGroups(TVar& var, TNodeEntry& top, const std::string& groupText) {
    TNodeEntry* parent = &top;
    const std::string lines = BackslashToLineBreaks(groupText);
    size_t start = 0;
    while (start <= lines.size()) {
        size_t end = lines.find("\r\n", start);
        if (end == std::string::npos) {
            end = lines.size();
        }
        const std::string name = lines.substr(start, end - start);
        start = end + 2;
        if (name.empty()) {
            continue;
        }
        TVarHeader* group = FindGroup(*parent, name);
        if (group == nullptr) {
            group = parent->NewChild<TVarHeader>();
            group->SetLocalName(name);
            group->SetTitle(name);
            group->SetCaption(name);
        }
        var.MoveTo(*group);
        parent = group;
    }
}

void FillVar(TVar& var, const xml::TXMLItem* item, uint16_t typeCode, int index) {
    var.SetDeviceType(typeCode);
    var.SetVID(StrToVID(Param(item, "VID", "")));
    var.SetLocalName(Param(item, "Name", Hex4(static_cast<uint32_t>(index))));
    var.SetTitle(Hex4(var.VID() >> 16) + "." + var.LocalName());
    var.SetReadLevel(ParseDecimal("RAL", Param(item, "RAL", "8")));
    var.SetWriteLevel(ParseDecimal("WAL", Param(item, "WAL", "8")));
    // Type codes have no upper bound in the files; anything beyond 32 bits stays out of the
    // type table instead of wrapping into it.
    const uint64_t type = HexToInt(Param(item, "TypeCode", ""));
    var.SetTypeCode(type > INT32_MAX ? INT32_MAX : static_cast<int32_t>(type));
    var.SetVarLen(ParseDecimal("VarLen", Param(item, "VarLen", "0")));
    var.SetVarCount(ParseDecimal("VarCount", Param(item, "VarCount", "0")));
    var.SetCaption(Param(item, "Caption", ""));
    var.SetUnits(Param(item, "Units", ""));
    var.SetD(ParseDecimal("D", Param(item, "D", "0")));
    void* base = State().baseModule;
    TVarProcs& procs = var.MutableProcs();
    procs.FC = AsProc<ZbOperationProc>(Symbol(base, "PlainFC"));
    procs.WE = AsProc<ZbOperationProc>(Symbol(base, "PlainWE"));
    procs.WD = AsProc<ZbTextProc>(Symbol(base, "PlainWD"));
    procs.ALC = AsProc<ZbOperationProc>(Symbol(base, "PlainALC"));
    procs.RD = AsProc<ZbTextProc>(Symbol(base, "PlainRD"));
    procs.RE = AsProc<ZbOperationProc>(Symbol(base, "PlainRE"));
    procs.ED = AsProc<ZbTextProc>(Symbol(base, "PlainED"));
    var.SetHidden(var.ReadLevel() == ZB_LEVEL_NONE && var.WriteLevel() == ZB_LEVEL_NONE);
    var.SetEditKind(kEditText);
}

void ApplyExtension(TVar& var, const xml::TXMLItem* item, void* library, TNodeEntry& top,
                    bool buildGroups) {
    if (item->HasParam("RAL")) {
        var.SetReadLevel(ParseDecimal("RAL", Param(item, "RAL", "")));
    }
    if (item->HasParam("WAL")) {
        var.SetWriteLevel(ParseDecimal("WAL", Param(item, "WAL", "")));
    }
    if (item->HasParam("D")) {
        var.SetD(ParseDecimal("D", Param(item, "D", "")));
    }
    if (item->HasParam("F")) {
        var.SetF(Param(item, "F", ""));
    }
    if (item->HasParam("U") && Param(item, "U", "") == "1") {
        var.SetHidden(true);
    }
    if (item->HasParam("EH")) {
        var.SetEH(BackslashToLineBreaks(Param(item, "EH", "")));
    }
    if (item->HasParam("EE")) {
        var.SetEE(BackslashToLineBreaks(Param(item, "EE", "")));
    }
    for (const RoleName& role : kExtensionRoles) {
        const std::string name = Param(item, role.attribute, role.defaultName);
        SetProc(var.MutableProcs(), role.attribute,
                ResolvePlugInProc(library, name, role.defaultName));
    }
    if (item->HasParam("EA")) {
        const std::string ea = Param(item, "EA", "");
        if (ea == "Text") {
            var.SetEditKind(kEditText);
        } else if (ea == "Date") {
            var.SetEditKind(kEditDate);
        }
    }
    if (buildGroups && item->HasParam("Group")) {
        PlaceInGroups(var, top, Param(item, "Group", ""));
    }
}

void WarnSyntax(const TVar& var) {
    base::Messages().Warning("Синтаксическая ошибка! \"" + var.Title() + "\"");
}

// The file `name` in `folder`; names that differ only in letter case are found too, as the
// folders come from systems where file names are not case-sensitive. Empty when there is none.
fs::path FindFile(const fs::path& folder, const std::string& name) {
    std::error_code ec;
    const fs::path exact = folder / name;
    if (fs::is_regular_file(exact, ec)) {
        return exact;
    }
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code fileError;
        if (base::EqualsNoCase(it->path().filename().string(), name) &&
            fs::is_regular_file(it->path(), fileError)) {
            return it->path();
        }
    }
    return {};
}

}  // namespace

void ResetCatalogue() {
    CatalogueState& state = State();
    state.root = std::make_unique<TTreeEntry>();
    state.baseModule = nullptr;
    state.libraries.clear();
}

void LoadCatalogue(const fs::path& programDir, bool buildGroups) {
    ResetCatalogue();
    SetCatalogueDir(programDir);
    ScanDescriptions(buildGroups);
}

const fs::path& CatalogueDir() {
    const CatalogueState& state = State();
    return state.dirSet ? state.dir : base::Program().programDir;
}

void SetCatalogueDir(const fs::path& programDir) {
    State().dir = programDir;
    State().dirSet = true;
}

TTreeEntry& VarRoot() {
    return *State().root;
}

void* BaseModule() {
    return State().baseModule;
}

void* ResolvePlugInProc(void* library, const std::string& name, const std::string& defaultName) {
    if (void* p = Symbol(library, name)) {
        return p;
    }
    if (void* p = Symbol(State().baseModule, name)) {
        return p;
    }
    return Symbol(State().baseModule, defaultName);
}

std::string PlugInLibraryName(uint16_t typeCode) {
    return "ZarnicMaster_" + Hex4(typeCode).substr(0, 2) + "xx.so";
}

void* FindLoadedLibrary(const std::string& fileName) {
    const auto& libraries = State().libraries;
    const auto it = libraries.find(fileName);
    return it == libraries.end() ? nullptr : it->second;
}

void ScanDescriptions(bool buildGroups) {
    const fs::path folder = CatalogueDir() / "XML.ZARNIC";
    std::vector<std::string> entries;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() < 4 || !base::EqualsNoCase(name.substr(name.size() - 4), ".xml") ||
            name == "ZARNIC.xml") {
            continue;
        }
        // Only names that begin with a type code are descriptions: a stray "notes.xml" would
        // otherwise load as some type code, and a short name as type 0000 a second time.
        const std::string code = name.substr(0, 4);
        if (!std::all_of(code.begin(), code.end(), base::IsHexDigit)) {
            continue;
        }
        entries.push_back(code);
    }
    std::sort(entries.begin(), entries.end(), [](const std::string& a, const std::string& b) {
        return base::AsciiUpper(a) < base::AsciiUpper(b);
    });
    // One load per type code, however many files share it.
    entries.erase(std::unique(entries.begin(), entries.end(),
                              [](const std::string& a, const std::string& b) {
                                  return base::EqualsNoCase(a, b);
                              }),
                  entries.end());
    for (const std::string& entry : entries) {
        LoadDescription(static_cast<uint16_t>(HexToInt(entry)), buildGroups);
    }
}

void LoadDescription(uint16_t typeCode, bool buildGroups) {
    CatalogueState& state = State();
    const std::string t = Hex4(typeCode);
    const std::string libraryName = PlugInLibraryName(typeCode);
    const fs::path dir = CatalogueDir();

    // 1. The library of the type's high byte.
    void* library = FindLoadedLibrary(libraryName);
    if (library != nullptr) {
        LogLine("");
        if (typeCode == 0) {
            state.baseModule = library;
        }
    } else {
        const fs::path libraryPath = FindFile(dir / "DLL", libraryName);
        if (!libraryPath.empty()) {
            library = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (typeCode != 0) {
                LogLine(" ");
            }
            LogLine("Dll-библиотека \"" + libraryName + "\" - " +
                    (library != nullptr ? "OK" : "загрузить не удалось!"));
            if (library != nullptr) {
                state.libraries[libraryName] = library;
            }
            if (typeCode == 0) {
                state.baseModule = library;
            }
        }
    }

    // 2.-4. The description file.
    std::string message = "\"" + t + ".ZARNIC.xml\" - ";
    const fs::path descriptionPath = FindFile(dir / "XML.ZARNIC", t + ".ZARNIC.xml");
    if (descriptionPath.empty()) {
        if (typeCode == 0) {
            LogLine(message + "не найден!");
            LogLine("Продолжение невозможно!");
        }
        return;
    }
    xml::TECXMLParser document;
    try {
        document.LoadFromFile(descriptionPath);
    } catch (const std::exception&) {
        if (typeCode == 0) {
            LogLine(message + "ошибка в файле!");
            LogLine("Продолжение невозможно!");
        }
        return;
    }

    // 5. The device type's header.
    const xml::TXMLItem* root = document.Root();
    TNodeEntry* parent = state.root.get();
    if (const xml::TXMLItem* titleItem = xml::FindItem(root, 0, "ExtensionTitle")) {
        auto* header = parent->NewChild<TVarHeader>();
        header->SetLocalName(t + ".Header");
        header->SetTitle(Param(titleItem, "Value", header->LocalName()));
        header->SetCaption(header->Title());
        header->SetTag(typeCode);
        parent = header;
        message += "\"" + header->Title() + "\" - ";
    }

    // 6. The variables.
    int index = 0;
    for (const xml::TXMLItem* item = xml::FindItem(root, 0, "var"); item != nullptr;
         item = xml::NextItem(item), ++index) {
        auto* var = parent->NewChild<TVar>();
        try {
            FillVar(*var, item, typeCode, index);
        } catch (const std::exception&) {
            WarnSyntax(*var);
        }
    }

    // 7.
    document.Clear();
    LogLine(message + "OK");

    // 8. The extension file.
    message = "\"" + t + ".ZarnicMaster.xml\" - ";
    const fs::path extensionPath = FindFile(dir / "XML.ZarnicMaster", t + ".ZarnicMaster.xml");
    if (extensionPath.empty()) {
        return;
    }
    try {
        document.LoadFromFile(extensionPath);
    } catch (const std::exception&) {
        LogLine(message + "ошибка в файле!");
        return;
    }
    root = document.Root();
    for (const xml::TXMLItem* item = xml::FindItem(root, 0, "var"); item != nullptr;
         item = xml::NextItem(item)) {
        TVar* var = FindVarByVID(*parent, StrToVID(Param(item, "VID", "")));
        if (var == nullptr) {
            continue;
        }
        try {
            ApplyExtension(*var, item, library, *parent, buildGroups);
        } catch (const std::exception&) {
            WarnSyntax(*var);
        }
    }
    LogLine(message + "OK");
}

std::vector<TNodeEntry*> CatalogueClasses() {
    std::vector<TNodeEntry*> classes;
    TTreeEntry& root = VarRoot();
    for (size_t i = 0; i < root.ChildCount(); ++i) {
        classes.push_back(root.Child(i));
    }
    return classes;
}

std::vector<TVar*> ClassVariables(TNodeEntry& entry) {
    if (entry.Class() == EntryClass::Var) {
        return {static_cast<TVar*>(&entry)};
    }
    std::vector<TVar*> vars;
    for (size_t i = 0; i < entry.ChildCount(); ++i) {
        if (entry.Child(i)->Class() == EntryClass::Var) {
            vars.push_back(static_cast<TVar*>(entry.Child(i)));
        }
    }
    return vars;
}

}  // namespace zb::devices
