#pragma once
// The parameter model: the tree that holds the catalogue of meter variables. Group nodes
// (TVarHeader: device types and groups) and variables (TVar) hang under one root (TTreeEntry).
// Every node is owned by its parent; destroying a node destroys its subtree. TArch is a
// variable-like object that reads an archive descriptor into one line of text.
//
// The catalogue tree is built once at start-up and not changed afterwards; after that it may be
// read from any thread. The only run-time values, a variable's Text and OpRes, are guarded by the
// variable's own lock.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "devices/plugin_abi.h"

namespace zb::devices {

enum TNodeEntryState { nesNormal = 0, nesSelected = 1, nesGrayed = 2 };

// The exact class of an entry; several rules apply to one class only, not to its descendants.
enum class EntryClass { NodeEntry, TreeEntry, VarHeader, Var, Arch };

// Texts of the model hold at most this many characters; longer ones are cut.
inline constexpr size_t kMaxShortText = 255;

class TNodeEntry {
  public:
    TNodeEntry() = default;
    virtual ~TNodeEntry();
    TNodeEntry(const TNodeEntry&) = delete;
    TNodeEntry& operator=(const TNodeEntry&) = delete;

    virtual EntryClass Class() const { return EntryClass::NodeEntry; }

    // Tree structure. AddChild takes ownership and returns the child; MoveTo hands the entry to
    // a new parent (appended as its last child). Moving an entry under itself or one of its own
    // descendants is refused (returns false).
    TNodeEntry* Owner() const { return owner_; }
    size_t ChildCount() const { return children_.size(); }
    TNodeEntry* Child(size_t index) const { return children_.at(index).get(); }
    TNodeEntry* AddChild(std::unique_ptr<TNodeEntry> child);
    template <class T>
    T* NewChild() {
        return static_cast<T*>(AddChild(std::make_unique<T>()));
    }
    bool MoveTo(TNodeEntry& newOwner);
    // Number of ancestors: 0 for an entry without owner.
    int Level() const;

    // Headers keep the device type code here.
    int64_t Tag() const { return tag_; }
    void SetTag(int64_t tag) { tag_ = tag; }

    const std::string& Title() const { return title_; }
    void SetTitle(std::string_view title);
    const std::string& LocalName() const { return localName_; }
    void SetLocalName(std::string_view name);

    virtual TNodeEntryState State() const { return state_; }
    virtual void SetState(TNodeEntryState state) { state_ = state; }

    // Counts the entries of exactly class `cls` in this subtree that read as grayed.
    virtual int CountEntries(EntryClass cls) const;

  protected:
    TNodeEntryState StoredState() const { return state_; }

  private:
    TNodeEntry* owner_ = nullptr;
    std::vector<std::unique_ptr<TNodeEntry>> children_;
    int64_t tag_ = 0;
    std::string title_;
    std::string localName_;
    TNodeEntryState state_ = nesNormal;
};

class TTreeEntry : public TNodeEntry {
  public:
    EntryClass Class() const override { return EntryClass::TreeEntry; }

    // A header (exact class TVarHeader) is supported when any child is; other entries keep a
    // flag. Setting true also marks every ancestor supported.
    bool Supported() const;
    void SetSupported(bool supported);

    bool available = false;

    // A header is visible when any child is; other entries when their visible flag is set and
    // the hidden flag is not.
    bool Visible() const;
    void SetVisible(bool visible) { visible_ = visible; }
    bool Hidden() const { return hidden_; }
    void SetHidden(bool hidden) { hidden_ = hidden; }

    // A header reads selected when any child does. Setting a header's state passes the state on
    // to every visible child that does not read grayed.
    TNodeEntryState State() const override;
    void SetState(TNodeEntryState state) override;
    int CountEntries(EntryClass cls) const override;

  private:
    bool supported_ = false;
    bool visible_ = false;
    bool hidden_ = false;
};

class TVarHeader : public TTreeEntry {
  public:
    EntryClass Class() const override { return EntryClass::VarHeader; }
    const std::string& Caption() const { return caption_; }
    void SetCaption(std::string_view caption);

  private:
    std::string caption_;
};

// The seven plug-in functions of a variable, in the order of the model.
struct TVarProcs {
    ZbOperationProc RE = nullptr;
    ZbOperationProc FC = nullptr;
    ZbOperationProc WE = nullptr;
    ZbOperationProc ALC = nullptr;
    ZbTextProc RD = nullptr;
    ZbTextProc WD = nullptr;
    ZbTextProc ED = nullptr;
};

// Edit kinds of a variable.
inline constexpr uint8_t kEditNone = 0;
inline constexpr uint8_t kEditText = 1;
inline constexpr uint8_t kEditDate = 2;

class TVar : public TVarHeader {
  public:
    EntryClass Class() const override { return EntryClass::Var; }
    // Grayed whenever the hidden flag is set.
    TNodeEntryState State() const override;

    // Current value text; "***" while a request is pending. Writing "***" keeps the number of
    // lines of the old text ("***" then empty lines, each ended by CR LF) and sets OpRes to
    // "***". Safe to call from several threads.
    std::string Text() const;
    void SetText(std::string_view text);
    std::string OpRes() const;
    void SetOpRes(std::string_view text);

    uint32_t VID() const { return vid_; }
    void SetVID(uint32_t vid) { vid_ = vid; }
    int32_t ReadLevel() const { return readLevel_; }
    void SetReadLevel(int32_t level) { readLevel_ = level; }
    int32_t WriteLevel() const { return writeLevel_; }
    void SetWriteLevel(int32_t level) { writeLevel_ = level; }
    int32_t DeviceType() const { return deviceType_; }
    void SetDeviceType(int32_t type) { deviceType_ = type; }
    const std::string& EH() const { return eh_; }
    void SetEH(std::string_view text) { eh_ = text; }
    const std::string& EE() const { return ee_; }
    void SetEE(std::string_view text) { ee_ = text; }
    uint8_t EditKind() const { return editKind_; }
    void SetEditKind(uint8_t kind) { editKind_ = kind; }
    bool Editable() const { return editKind_ != kEditNone; }
    const std::string& Units() const { return units_; }
    void SetUnits(std::string_view units);
    const std::string& ArchiveCaption() const { return archiveCaption_; }
    void SetArchiveCaption(std::string_view caption);
    int32_t TypeCode() const { return typeCode_; }
    void SetTypeCode(int32_t code) { typeCode_ = code; }
    int32_t VarLen() const { return varLen_; }
    void SetVarLen(int32_t len) { varLen_ = len; }
    int32_t VarCount() const { return varCount_; }
    void SetVarCount(int32_t count) { varCount_ = count; }
    int32_t D() const { return d_; }
    void SetD(int32_t d) { d_ = d; }
    const std::string& F() const { return f_; }
    void SetF(std::string_view f);

    const TVarProcs& Procs() const { return procs_; }
    TVarProcs& MutableProcs() { return procs_; }

    // The settings handed to the plug-in functions; the texts point into this variable and stay
    // valid while it lives and its settings are not changed.
    ZbVarSettings PlugInSettings() const;

  private:
    mutable std::mutex valueMutex_;
    std::string text_;
    std::string opRes_;
    uint32_t vid_ = 0;
    int32_t readLevel_ = ZB_LEVEL_NONE;
    int32_t writeLevel_ = ZB_LEVEL_NONE;
    int32_t deviceType_ = 0;
    std::string eh_;
    std::string ee_;
    uint8_t editKind_ = kEditNone;
    std::string units_;
    std::string archiveCaption_;
    int32_t typeCode_ = 0;
    int32_t varLen_ = 0;
    int32_t varCount_ = 0;
    int32_t d_ = 0;
    std::string f_;
    TVarProcs procs_;
};

// An archive as a meter describes it: read from the hexadecimal descriptor, shown as one line.
class TArch : public TVar {
  public:
    EntryClass Class() const override { return EntryClass::Arch; }

    // Reads descriptor records until one is not recognised (see the .cpp); starts from zero.
    void ReadDescriptor(std::string_view hexText);
    // "<record count>/<depth>" and, for a known type and units, the type and interval.
    std::string PropertyStr() const;
    // The archive caption of the referenced variable when not empty, else its caption; empty
    // without a variable.
    std::string CaptionStr() const;
    void SetCaptionVar(const TVar* var) { captionVar_ = var; }

    bool Flag() const { return flag_; }
    int32_t ArchType() const { return archType_; }
    int32_t Depth() const { return depth_; }
    int32_t RecordCount() const { return recordCount_; }
    uint8_t IntervalUnit() const { return intervalUnit_; }
    uint8_t IntervalCount() const { return intervalCount_; }
    uint8_t OffsetUnit() const { return offsetUnit_; }
    int8_t Offset() const { return offset_; }

  private:
    const TVar* captionVar_ = nullptr;
    bool flag_ = false;
    int32_t archType_ = 0;
    int32_t depth_ = 0;
    int32_t recordCount_ = 0;
    uint8_t intervalUnit_ = 0;
    uint8_t intervalCount_ = 0;
    uint8_t offsetUnit_ = 0;
    int8_t offset_ = 0;
};

// Look-ups: depth-first, the entry itself first, then its children in order; first match wins.
// Only entries of exactly class TVar match the variable look-ups.
TVar* FindVarByTitle(TNodeEntry& entry, std::string_view title);
TNodeEntry* FindEntryByTitle(TNodeEntry& entry, std::string_view title);
TVar* FindVarByVID(TNodeEntry& entry, uint32_t vid);

// The read level when the operation text contains "?", else the write level.
int32_t RequiredLevel(const TVar& var, std::string_view operationText);

// Name of a data type code: "uint16" for 0x22 and so on; "unknown" for codes that have no name,
// including every code outside 0..255.
const std::string& TypeName(int64_t typeCode);
// True for the function family (high digit 6 of the type code: "Func", "L.Func").
bool IsFunctionType(int64_t typeCode);

// Access mode of an access level: 0 for 0 and 3, 1 for 1, 2 for 2, -1 (refused) for any other.
int AccessModeOfLevel(int64_t level);

// Archive tables: type names "I" "D" "F" "LOG" "IMIN" "IMAX" (index 0..5), whether the type is
// an interval kind, unit names "мин" "час" "сут" "нед" "мес" "г" (index 0..5). Out of range
// gives an empty name and false.
std::string ArchiveTypeName(int64_t type);
bool ArchiveTypeIsInterval(int64_t type);
std::string ArchiveUnitName(int64_t unit);

// Cuts a UTF-8 text to at most `maxChars` characters (never inside a character).
std::string CutToChars(std::string_view text, size_t maxChars);

}  // namespace zb::devices
