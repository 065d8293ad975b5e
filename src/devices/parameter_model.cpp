#include "devices/parameter_model.h"

#include <array>
#include <cstdio>

#include "devices/value_formats.h"

namespace zb::devices {

std::string CutToChars(std::string_view text, size_t maxChars) {
    size_t chars = 0;
    size_t i = 0;
    while (i < text.size()) {
        if (chars == maxChars) {
            return std::string(text.substr(0, i));
        }
        // Continuation bytes of a UTF-8 sequence belong to the character before them.
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) {
            ++i;
        }
        ++chars;
    }
    return std::string(text);
}

// ---- TNodeEntry ----

TNodeEntry::~TNodeEntry() = default;

TNodeEntry* TNodeEntry::AddChild(std::unique_ptr<TNodeEntry> child) {
    child->owner_ = this;
    children_.push_back(std::move(child));
    return children_.back().get();
}

bool TNodeEntry::MoveTo(TNodeEntry& newOwner) {
    for (const TNodeEntry* e = &newOwner; e != nullptr; e = e->owner_) {
        if (e == this) {
            return false;
        }
    }
    if (owner_ == &newOwner) {
        return true;
    }
    std::unique_ptr<TNodeEntry> self;
    if (owner_ != nullptr) {
        auto& siblings = owner_->children_;
        for (auto it = siblings.begin(); it != siblings.end(); ++it) {
            if (it->get() == this) {
                self = std::move(*it);
                siblings.erase(it);
                break;
            }
        }
    }
    if (!self) {
        // An entry without owner is owned by whoever created it; it cannot be handed over.
        return false;
    }
    newOwner.AddChild(std::move(self));
    return true;
}

int TNodeEntry::Level() const {
    int level = 0;
    for (const TNodeEntry* e = owner_; e != nullptr; e = e->owner_) {
        ++level;
    }
    return level;
}

void TNodeEntry::SetTitle(std::string_view title) {
    title_ = CutToChars(title, kMaxShortText);
}

void TNodeEntry::SetLocalName(std::string_view name) {
    localName_ = CutToChars(name, kMaxShortText);
}

int TNodeEntry::CountEntries(EntryClass cls) const {
    int count = (Class() == cls && State() == nesGrayed) ? 1 : 0;
    for (const auto& child : children_) {
        count += child->CountEntries(cls);
    }
    return count;
}

// ---- TTreeEntry ----

bool TTreeEntry::Supported() const {
    if (Class() != EntryClass::VarHeader) {
        return supported_;
    }
    for (size_t i = 0; i < ChildCount(); ++i) {
        const auto* child = dynamic_cast<const TTreeEntry*>(Child(i));
        if (child != nullptr && child->Supported()) {
            return true;
        }
    }
    return false;
}

void TTreeEntry::SetSupported(bool supported) {
    supported_ = supported;
    if (supported) {
        if (auto* owner = dynamic_cast<TTreeEntry*>(Owner())) {
            owner->SetSupported(true);
        }
    }
}

bool TTreeEntry::Visible() const {
    if (Class() != EntryClass::VarHeader) {
        return visible_ && !hidden_;
    }
    for (size_t i = 0; i < ChildCount(); ++i) {
        const auto* child = dynamic_cast<const TTreeEntry*>(Child(i));
        if (child != nullptr && child->Visible()) {
            return true;
        }
    }
    return false;
}

TNodeEntryState TTreeEntry::State() const {
    if (Class() == EntryClass::VarHeader) {
        for (size_t i = 0; i < ChildCount(); ++i) {
            if (Child(i)->State() == nesSelected) {
                return nesSelected;
            }
        }
    }
    return StoredState();
}

void TTreeEntry::SetState(TNodeEntryState state) {
    TNodeEntry::SetState(state);
    if (Class() != EntryClass::VarHeader) {
        return;
    }
    for (size_t i = 0; i < ChildCount(); ++i) {
        auto* child = dynamic_cast<TTreeEntry*>(Child(i));
        if (child != nullptr && child->Visible() && child->State() != nesGrayed) {
            child->SetState(state);
        }
    }
}

int TTreeEntry::CountEntries(EntryClass cls) const {
    int count = (Class() == cls && visible_ && StoredState() == nesGrayed) ? 1 : 0;
    for (size_t i = 0; i < ChildCount(); ++i) {
        count += Child(i)->CountEntries(cls);
    }
    return count;
}

// ---- TVarHeader ----

void TVarHeader::SetCaption(std::string_view caption) {
    caption_ = CutToChars(caption, kMaxShortText);
}

// ---- TVar ----

TNodeEntryState TVar::State() const {
    return Hidden() ? nesGrayed : TTreeEntry::State();
}

std::string TVar::Text() const {
    std::lock_guard lock(valueMutex_);
    return text_;
}

void TVar::SetText(std::string_view text) {
    std::lock_guard lock(valueMutex_);
    if (text == "***") {
        if (text_.empty()) {
            text_ = "***";
        } else {
            // As many lines as the old text had: a last line without a line break counts too.
            size_t lines = 0;
            size_t pos = 0;
            while (pos < text_.size()) {
                const size_t br = text_.find_first_of("\r\n", pos);
                ++lines;
                if (br == std::string::npos) {
                    break;
                }
                pos =
                    br +
                    ((text_[br] == '\r' && br + 1 < text_.size() && text_[br + 1] == '\n') ? 2 : 1);
            }
            std::string pending = "***\r\n";
            for (size_t i = 1; i < lines; ++i) {
                pending += "\r\n";
            }
            text_ = std::move(pending);
        }
        opRes_ = "***";
        return;
    }
    text_ = text;
}

std::string TVar::OpRes() const {
    std::lock_guard lock(valueMutex_);
    return opRes_;
}

void TVar::SetOpRes(std::string_view text) {
    std::lock_guard lock(valueMutex_);
    opRes_ = text;
}

void TVar::SetUnits(std::string_view units) {
    units_ = CutToChars(units, kMaxShortText);
}

void TVar::SetArchiveCaption(std::string_view caption) {
    archiveCaption_ = CutToChars(caption, kMaxShortText);
}

void TVar::SetF(std::string_view f) {
    f_ = CutToChars(f, kMaxShortText);
}

ZbVarSettings TVar::PlugInSettings() const {
    ZbVarSettings s{};
    s.size = sizeof(ZbVarSettings);
    s.vid = vid_;
    s.device_type = deviceType_;
    s.type_code = typeCode_;
    s.var_len = varLen_;
    s.var_count = varCount_;
    s.d = d_;
    s.read_level = readLevel_;
    s.write_level = writeLevel_;
    s.title = Title().c_str();
    s.name = LocalName().c_str();
    s.caption = Caption().c_str();
    s.units = units_.c_str();
    s.f = f_.c_str();
    return s;
}

// ---- TArch ----

namespace {

uint32_t WordAt(const uint8_t* bytes, size_t word) {
    const uint8_t* p = bytes + 4 * word;
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

void TArch::ReadDescriptor(std::string_view hexText) {
    flag_ = false;
    archType_ = depth_ = recordCount_ = 0;
    intervalUnit_ = intervalCount_ = offsetUnit_ = 0;
    offset_ = 0;

    std::array<uint8_t, 256> bytes{};
    const size_t n = HexToBytes(hexText, bytes.data(), bytes.size());
    const size_t words = (n + 3) / 4;
    size_t pos = 0;
    while (pos < words) {
        const uint32_t header = WordAt(bytes.data(), pos++);
        const uint32_t tag = header & 0xFFFF;
        const size_t length = header >> 16;
        if (words - pos < length) {
            return;
        }
        const size_t first = pos;
        pos += length;
        if (tag == 0 || tag == 1) {
            // A known record without its first word carries nothing to read.
            if (length == 0) {
                continue;
            }
            const uint32_t w = WordAt(bytes.data(), first);
            if (tag == 0) {
                depth_ = static_cast<int32_t>(w & 0xFFFFFF);
                archType_ = static_cast<int32_t>((w >> 24) & 0x7F);
                flag_ = (w >> 31) != 0;
            } else {
                intervalUnit_ = static_cast<uint8_t>(w);
                intervalCount_ = static_cast<uint8_t>(w >> 8);
                offsetUnit_ = static_cast<uint8_t>(w >> 16);
                offset_ = static_cast<int8_t>(static_cast<uint8_t>(w >> 24));
            }
            continue;
        }
        return;
    }
}

std::string TArch::PropertyStr() const {
    std::string s = std::to_string(recordCount_) + "/" + std::to_string(depth_);
    if (archType_ < 0 || archType_ > 5 || intervalUnit_ > 5 || offsetUnit_ > 5) {
        return s;
    }
    if (ArchiveTypeIsInterval(archType_)) {
        if (archType_ != 0) {
            s += ", " + ArchiveTypeName(archType_);
        }
        s += " [" + std::to_string(intervalCount_) + " " + ArchiveUnitName(intervalUnit_) + "]";
        if (offset_ > 0) {
            s += " +" + std::to_string(offset_) + " " + ArchiveUnitName(offsetUnit_);
        } else if (offset_ < 0) {
            s += " -" + std::to_string(-static_cast<int>(offset_)) + " " +
                 ArchiveUnitName(offsetUnit_);
        }
    } else {
        s += ", " + ArchiveTypeName(archType_);
    }
    return s;
}

std::string TArch::CaptionStr() const {
    if (captionVar_ == nullptr) {
        return {};
    }
    return captionVar_->ArchiveCaption().empty() ? captionVar_->Caption()
                                                 : captionVar_->ArchiveCaption();
}

// ---- look-ups and tables ----

namespace {

template <class Match>
TNodeEntry* FindDepthFirst(TNodeEntry& entry, const Match& match) {
    if (match(entry)) {
        return &entry;
    }
    for (size_t i = 0; i < entry.ChildCount(); ++i) {
        if (TNodeEntry* found = FindDepthFirst(*entry.Child(i), match)) {
            return found;
        }
    }
    return nullptr;
}

}  // namespace

TVar* FindVarByTitle(TNodeEntry& entry, std::string_view title) {
    return static_cast<TVar*>(FindDepthFirst(entry, [&](const TNodeEntry& e) {
        return e.Class() == EntryClass::Var && e.Title() == title;
    }));
}

TNodeEntry* FindEntryByTitle(TNodeEntry& entry, std::string_view title) {
    return FindDepthFirst(entry, [&](const TNodeEntry& e) { return e.Title() == title; });
}

TVar* FindVarByVID(TNodeEntry& entry, uint32_t vid) {
    return static_cast<TVar*>(FindDepthFirst(entry, [&](const TNodeEntry& e) {
        return e.Class() == EntryClass::Var && static_cast<const TVar&>(e).VID() == vid;
    }));
}

int32_t RequiredLevel(const TVar& var, std::string_view operationText) {
    return operationText.find('?') != std::string_view::npos ? var.ReadLevel() : var.WriteLevel();
}

namespace {

std::array<std::string, 256> MakeTypeNames() {
    std::array<std::string, 256> names;
    names.fill("unknown");
    const std::pair<int, const char*> known[] = {
        {0x00, "flag"},    {0x01, "flagX"},   {0x02, "mflagX"}, {0x03, "bitRecX"},
        {0x11, "byte"},    {0x12, "byte2"},   {0x13, "byte3"},  {0x14, "frame/byte4"},
        {0x21, "uint8"},   {0x22, "uint16"},  {0x23, "uint24"}, {0x24, "uint32"},
        {0x28, "bool"},    {0x29, "event"},   {0x2A, "time"},   {0x2B, "utc"},
        {0x31, "int8"},    {0x32, "int16"},   {0x33, "int24"},  {0x34, "int32"},
        {0x41, "float32"}, {0x42, "float64"}, {0x50, "StrPas"}, {0x51, "StrBytePas"},
        {0x60, "Func"},    {0x68, "L.Func"},
    };
    for (const auto& [code, name] : known) {
        names[static_cast<size_t>(code)] = name;
    }
    return names;
}

}  // namespace

const std::string& TypeName(int64_t typeCode) {
    static const std::array<std::string, 256> names = MakeTypeNames();
    static const std::string unknown = "unknown";
    if (typeCode < 0 || typeCode > 255) {
        return unknown;
    }
    return names[static_cast<size_t>(typeCode)];
}

bool IsFunctionType(int64_t typeCode) {
    return typeCode >= 0x60 && typeCode <= 0x6F;
}

int AccessModeOfLevel(int64_t level) {
    static constexpr int kModes[] = {0, 1, 2, 0};
    if (level < 0 || level > 3) {
        return -1;
    }
    return kModes[level];
}

std::string ArchiveTypeName(int64_t type) {
    static const char* const kNames[] = {"I", "D", "F", "LOG", "IMIN", "IMAX"};
    return (type >= 0 && type <= 5) ? kNames[type] : "";
}

bool ArchiveTypeIsInterval(int64_t type) {
    return type == 0 || type == 4 || type == 5;
}

std::string ArchiveUnitName(int64_t unit) {
    static const char* const kNames[] = {"мин", "час", "сут", "нед", "мес", "г"};
    return (unit >= 0 && unit <= 5) ? kNames[unit] : "";
}

}  // namespace zb::devices
