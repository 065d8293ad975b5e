#pragma once
// The XML document tree every XML text of the server goes through: device descriptions, stored
// work and request XML, work and service command files, and the files concentrators send.
//
// It is a small tree of its own, not a general XML processor: elements, attributes, element text,
// comments and "<?xml" processing instructions; five escapes plus CR LF <-> "<br/>"; no
// namespaces, entities, CDATA or DTD. Its reading and writing rules decide what files written by
// the server look like and what it accepts from concentrators.
//
// A document and its items are used by one thread at a time.
#include <cstddef>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "xml/escape.h"

namespace zb::xml {

class TECXMLParser;
class TXMLItem;

// A load that cannot go on: the message is "<reason> on line <n>", e.g. "Line too long on line 1".
class EParserError : public std::runtime_error {
  public:
    EParserError(const std::string& reason, int line);
    int Line() const { return line_; }

  private:
    int line_;
};

// An index outside a list: "List index out of bounds (<index>)".
class EListError : public std::out_of_range {
  public:
    explicit EListError(long long index);
};

// A file that cannot be opened for loading: "Cannot open file "<path>". <reason>".
class EFOpenError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A tree operation that would break the tree (a cycle, or an item without an owner to move).
class EInvalidOperation : public std::logic_error {
  public:
    using std::logic_error::logic_error;
};

// The attributes of an element: an ordered list of name=value lines. Names are looked up without
// regard to letter case; the first line with the name wins.
class TXMLParams {
  public:
    struct Line {
        std::string name;
        std::string value;
        bool operator==(const Line&) const = default;
    };

    int Count() const { return static_cast<int>(lines_.size()); }
    bool Empty() const { return lines_.empty(); }

    // By index; an index outside 0..Count-1 raises EListError.
    const std::string& Names(int index) const;
    const std::string& ValueFromIndex(int index) const;
    void SetValueFromIndex(int index, std::string value);
    std::string Strings(int index) const;  // "name=value"
    void Delete(int index);

    // By name (case-insensitive). Values gives "" for a missing name.
    int IndexOfName(std::string_view name) const;
    bool Has(std::string_view name) const { return IndexOfName(name) >= 0; }
    std::string Values(std::string_view name) const;
    // A non-empty value replaces the first line with the name or appends one; an empty value
    // removes that line.
    void SetValues(std::string_view name, std::string value);

    // Appends "name=value" as given (no look-up, duplicates allowed).
    void Add(std::string name, std::string value);
    void Reserve(int count) { lines_.reserve(static_cast<std::size_t>(count)); }
    // Appends a text line "name=value"; a line without "=" is a name with an empty value.
    void AddLine(std::string_view line);
    void Clear() { lines_.clear(); }

    std::vector<Line>::const_iterator begin() const { return lines_.begin(); }
    std::vector<Line>::const_iterator end() const { return lines_.end(); }
    bool operator==(const TXMLParams&) const = default;

  private:
    std::vector<Line> lines_;
};

// Kinds of tokens the tokenizer cuts from a stream.
enum class TXMLTokenKind {
    EndOfInput = 0,
    Comment = 6,
    Declaration = 8,
    Text = 9,
    StartTag = 10,
    EndTag = 11,
    EmptyElementTag = 12,
};

// Cuts a byte stream into tags and texts. It reads through a window of 4096 bytes that always
// ends after a line feed (or at the end of the data); a full window without a line feed is
// "Line too long". A token cut by the end of the window is continued after the next refill, so
// tokens come out whole wherever the window falls; a tag that never closes is "Unterminated
// tag". Inside a quoted attribute value "<br/>" (the writer's form of CR LF) does not end the
// tag. With `largeWindow` the whole stream is read at once and no line-length limit applies
// (that is TXMLLargeTokenizer).
class TXMLTokenizer {
  public:
    static constexpr std::size_t kWindowSize = 4096;

    explicit TXMLTokenizer(std::istream& stream, bool largeWindow = false);
    // Reads the text where it lies, through the same window (no copy of it is made); the text
    // must outlive the tokenizer.
    explicit TXMLTokenizer(std::string_view text, bool largeWindow = false);
    TXMLTokenizer(const TXMLTokenizer&) = delete;
    TXMLTokenizer& operator=(const TXMLTokenizer&) = delete;
    virtual ~TXMLTokenizer();

    // Skips blanks and cuts the next token; EndOfInput once the stream is exhausted.
    TXMLTokenKind Next();
    TXMLTokenKind Kind() const { return kind_; }
    // The bytes of the token as read (a text without its trailing blanks).
    const std::string& RawToken() const { return token_; }
    // The token with every CR LF and LF CR pair removed and runs of spaces reduced to one.
    const std::string& TokenText() const { return textIsToken_ ? token_ : text_; }
    // For a tag: its element name.
    std::string TagName() const;
    // For a tag: its attributes, values with quotes removed and unescaped.
    void TagParams(TXMLParams& params) const;
    // Line number of the read position (starts at 1).
    int Line() const { return line_; }

  private:
    bool AtEnd();  // refills the window when the read position reached its end
    bool Refill();
    void ReadAll();
    void MakeText();

    const char* Data() const { return memory_ ? source_.data() : buffer_.data(); }

    std::istream* stream_ = nullptr;
    bool large_;
    bool memory_ = false;  // reading source_ in place rather than the stream
    std::string_view source_;
    std::vector<char> buffer_;
    std::size_t fill_ = 0;       // bytes of the buffer holding data
    std::size_t pos_ = 0;        // read position
    std::size_t windowEnd_ = 0;  // end of the usable window
    bool streamDone_ = false;
    int line_ = 1;
    TXMLTokenKind kind_ = TXMLTokenKind::EndOfInput;
    std::string token_;
    std::string text_;
    bool textIsToken_ = false;  // the token needed no change: TokenText() is the token itself
};

// The tokenizer with one window as large as the whole stream.
class TXMLLargeTokenizer : public TXMLTokenizer {
  public:
    explicit TXMLLargeTokenizer(std::istream& stream) : TXMLTokenizer(stream, true) {}
};

// One element: name, attributes, text and child elements, which it owns.
class TXMLItem {
  public:
    TXMLItem();
    ~TXMLItem();
    TXMLItem(const TXMLItem&) = delete;
    TXMLItem& operator=(const TXMLItem&) = delete;

    // Writing Name, Text or Params notifies the document (see TECXMLParser::XMLItemChanged).
    const std::string& Name() const { return name_; }
    void SetName(std::string name);
    const std::string& Text() const { return text_; }
    void SetText(std::string text);
    // The list itself: changes made through it do not notify.
    TXMLParams& Params() { return params_; }
    const TXMLParams& Params() const { return params_; }
    void SetParams(const TXMLParams& params);  // copies the list, then notifies

    // Attribute helpers: the value by name (case-insensitive, "" when missing); SetParam with an
    // empty value removes the attribute. SetParam notifies.
    std::string Param(std::string_view name) const { return params_.Values(name); }
    bool HasParam(std::string_view name) const { return params_.Has(name); }
    void SetParam(std::string_view name, std::string value);

    int SubItemCount() const { return Count(); }
    int Count() const { return static_cast<int>(children_.size()); }
    // The child at index; outside 0..Count-1 raises EListError.
    TXMLItem* Items(int index) const;

    TXMLItem* Parent() const { return parent_; }
    // Moves this item to the end of parent's children (taking it out of its old parent's list and
    // into parent's document). Setting the current parent changes nothing. An item without a
    // parent (a document's root or a free item), a null parent, or a parent inside this item's
    // own subtree raises EInvalidOperation.
    void SetParent(TXMLItem* parent);
    TECXMLParser* Document() const { return document_; }

    // Pretty-printing switch of AsString; children take it from their parent when written.
    bool CrLfInAsString() const { return crLf_; }
    void SetCrLfInAsString(bool value) { crLf_ = value; }
    // Change notifications are sent while this is set.
    bool NotifyEnabled() const { return notify_; }
    void SetNotifyEnabled(bool value) { notify_ = value; }

    // Deletes the children, clears Params, Name and Text, without notifying.
    void Clear();
    // Appends a new child (of this item's document), notifies this item, returns the child.
    TXMLItem* New();
    // Appends a free item with its subtree as last child; it joins this item's document.
    TXMLItem* Adopt(std::unique_ptr<TXMLItem> child);
    // Takes the child at index out of the list without freeing it.
    std::unique_ptr<TXMLItem> Extract(int index);
    // Frees the child at index and notifies this item; outside 0..Count-1 raises EListError.
    void Delete(int index);
    // Moves a child to newIndex within the children; EListError for an unknown child or an index
    // outside 0..Count-1.
    void Move(TXMLItem* child, int newIndex);
    int IndexOf(const TXMLItem* child) const;
    // First index at or after startIndex whose child's name equals name without regard to case.
    int IndexOfName(std::string_view name, int startIndex = 0) const;

    // The written form of this item and its subtree: one element per line, indentation 2 blanks
    // per level starting at `indent`, CR LF after every line; without CrLfInAsString, no line
    // breaks and no indentation steps. Sets each child's CrLfInAsString to its parent's value.
    std::string AsString(int indent = 0) const;

    // Replaces this item's tree by the document read from the stream (the first element names
    // this item, later ones become its descendants). Raises EParserError for a line longer than
    // the window or an unterminated tag.
    void LoadFromStream(std::istream& stream, bool largeWindow = false);
    void LoadFromString(std::string_view text, bool largeWindow = false);
    // Called during a load for each child of the loaded element once it is complete (its end
    // tag read); returning true frees the child at once, so a long document need not be held
    // whole.
    using ChildLoaded = std::function<bool(TXMLItem& child)>;
    void LoadFromString(std::string_view text, const ChildLoaded& childLoaded);

  private:
    friend class TECXMLParser;

    void Changed();
    void Load(TXMLTokenizer& tokenizer, const ChildLoaded* childLoaded);
    void SetDocumentOfSubtree(TECXMLParser* document);
    void Renumber(std::size_t from);

    std::string text_;
    std::string name_;
    TXMLParams params_;
    std::vector<std::unique_ptr<TXMLItem>> children_;
    TXMLItem* parent_ = nullptr;
    std::size_t indexInParent_ = 0;  // kept current so IndexOf and NextItem are constant time
    TECXMLParser* document_ = nullptr;
    bool notify_ = true;
    mutable bool crLf_ = true;
    bool loadedText_ = false;  // during a load: the text is known not to be blank
};

using TXMLItemChanged = std::function<void(TECXMLParser& sender, TXMLItem& item)>;
using TXMLLoadSaveEvent = std::function<void(TECXMLParser& sender, bool& allow)>;
using TXMLNotifyEvent = std::function<void(TECXMLParser& sender)>;

// The document: owns Root, and raises the events of loading, saving, clearing and changes.
class TECXMLParser {
  public:
    TECXMLParser();
    ~TECXMLParser();
    TECXMLParser(const TECXMLParser&) = delete;
    TECXMLParser& operator=(const TECXMLParser&) = delete;

    // Created with the document, never replaced; after a load it is the document element.
    TXMLItem* Root() const { return root_.get(); }

    // href of an xml-stylesheet instruction, read on load and written by SaveToStream.
    std::string StyleSheet;

    TXMLItemChanged XMLItemChanged;
    TXMLNotifyEvent OnLoaded;
    TXMLNotifyEvent OnCleared;
    TXMLNotifyEvent OnSaved;
    TXMLLoadSaveEvent BeforeLoad;
    TXMLLoadSaveEvent BeforeSave;
    TXMLLoadSaveEvent BeforeClear;

    bool CrLfInAsString() const { return root_->CrLfInAsString(); }
    void SetCrLfInAsString(bool value) { root_->SetCrLfInAsString(value); }

    // Asks BeforeClear; if allowed, clears Root and fires OnCleared.
    void Clear();
    // Raises EFOpenError when the file cannot be opened (or is a folder), EParserError as
    // LoadFromStream, and "Read error" when reading fails.
    void LoadFromFile(const std::filesystem::path& fileName);
    void LoadFromStream(std::istream& stream);
    void LoadFromString(std::string_view text);
    // The same, handing each child of the document element to childLoaded once it is complete.
    void LoadFromString(std::string_view text, const TXMLItem::ChildLoaded& childLoaded);
    // Asks BeforeSave; if allowed, writes the style-sheet line (unless noStyleSheet or
    // StyleSheet is blank) and Root's AsString in one piece, then fires OnSaved.
    void SaveToStream(std::ostream& stream, bool noStyleSheet = false);
    // The same text as SaveToStream writes ("" when BeforeSave vetoes).
    std::string SaveToString(bool noStyleSheet = false);

  private:
    std::unique_ptr<TXMLItem> root_;
};

// Lookup helpers used by every reader of XML in the server. Each accepts a null item.

// The child of parent found by IndexOfName(name, startIndex), or nullptr.
TXMLItem* FindItem(const TXMLItem* parent, int startIndex, std::string_view name);
// The next child of item's parent after item with item's name (case-insensitive), or nullptr.
TXMLItem* NextItem(const TXMLItem* item);
// value = defaultValue; if item has the attribute, value = its value and the result is true.
// A value of exactly two double quotes reads as empty.
bool ReadParam(const TXMLItem* item, std::string_view paramName, std::string_view defaultValue,
               std::string& value);
// value = defaultValue, child = nullptr; if parent has a child childName at or after
// startIndex, child = that child and the result is true; if the child has the attribute, value =
// its value (two-quote rule as ReadParam).
bool ReadChildParam(const TXMLItem* parent, int startIndex, std::string_view childName,
                    std::string_view paramName, std::string_view defaultValue, std::string& value,
                    TXMLItem*& child);

}  // namespace zb::xml
