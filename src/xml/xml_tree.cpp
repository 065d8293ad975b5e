#include "xml/xml_tree.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "base/text.h"

namespace zb::xml {

namespace {

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Element and attribute names compare without regard to letter case, Cyrillic included.
bool SameName(std::string_view a, std::string_view b) {
    if (IsAscii(a) && IsAscii(b)) {
        return base::EqualsNoCase(a, b);
    }
    return base::Utf8ToUpper(a) == base::Utf8ToUpper(b);
}

void CheckIndex(long long index, std::size_t count) {
    if (index < 0 || static_cast<std::size_t>(index) >= count) {
        throw EListError(index);
    }
}

const char kCrLf[] = "\r\n";

}  // namespace

EListError::EListError(long long index)
    : std::out_of_range("List index out of bounds (" + std::to_string(index) + ")") {}

// ---------------------------------------------------------------------------------------------
// TXMLParams

const std::string& TXMLParams::Names(int index) const {
    CheckIndex(index, lines_.size());
    return lines_[index].name;
}

const std::string& TXMLParams::ValueFromIndex(int index) const {
    CheckIndex(index, lines_.size());
    return lines_[index].value;
}

void TXMLParams::SetValueFromIndex(int index, std::string value) {
    CheckIndex(index, lines_.size());
    lines_[index].value = std::move(value);
}

std::string TXMLParams::Strings(int index) const {
    CheckIndex(index, lines_.size());
    return lines_[index].name + "=" + lines_[index].value;
}

void TXMLParams::Delete(int index) {
    CheckIndex(index, lines_.size());
    lines_.erase(lines_.begin() + index);
}

int TXMLParams::IndexOfName(std::string_view name) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (SameName(lines_[i].name, name)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::string TXMLParams::Values(std::string_view name) const {
    const int index = IndexOfName(name);
    return index >= 0 ? lines_[index].value : std::string();
}

void TXMLParams::SetValues(std::string_view name, std::string value) {
    const int index = IndexOfName(name);
    if (value.empty()) {
        if (index >= 0) {
            lines_.erase(lines_.begin() + index);
        }
    } else if (index >= 0) {
        lines_[index].value = std::move(value);
    } else {
        lines_.push_back({std::string(name), std::move(value)});
    }
}

void TXMLParams::Add(std::string name, std::string value) {
    lines_.push_back({std::move(name), std::move(value)});
}

void TXMLParams::AddLine(std::string_view line) {
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
        lines_.push_back({std::string(line), std::string()});
    } else {
        lines_.push_back({std::string(line.substr(0, eq)), std::string(line.substr(eq + 1))});
    }
}

// ---------------------------------------------------------------------------------------------
// TXMLItem

TXMLItem::TXMLItem() = default;

TXMLItem::~TXMLItem() {
    // Frees the subtree without recursion, so a deeply nested document cannot exhaust the stack.
    std::vector<std::unique_ptr<TXMLItem>> pending = std::move(children_);
    while (!pending.empty()) {
        std::unique_ptr<TXMLItem> item = std::move(pending.back());
        pending.pop_back();
        for (auto& child : item->children_) {
            pending.push_back(std::move(child));
        }
        item->children_.clear();
    }
}

void TXMLItem::Changed() {
    if (notify_ && document_ != nullptr && document_->XMLItemChanged) {
        document_->XMLItemChanged(*document_, *this);
    }
}

void TXMLItem::SetName(std::string name) {
    name_ = std::move(name);
    Changed();
}

void TXMLItem::SetText(std::string text) {
    text_ = std::move(text);
    Changed();
}

void TXMLItem::SetParams(const TXMLParams& params) {
    if (&params != &params_) {
        params_ = params;
    }
    Changed();
}

void TXMLItem::SetParam(std::string_view name, std::string value) {
    params_.SetValues(name, std::move(value));
    Changed();
}

TXMLItem* TXMLItem::Items(int index) const {
    CheckIndex(index, children_.size());
    return children_[index].get();
}

void TXMLItem::Renumber(std::size_t from) {
    for (std::size_t i = from; i < children_.size(); ++i) {
        children_[i]->indexInParent_ = i;
    }
}

void TXMLItem::SetDocumentOfSubtree(TECXMLParser* document) {
    std::vector<TXMLItem*> pending{this};
    while (!pending.empty()) {
        TXMLItem* item = pending.back();
        pending.pop_back();
        item->document_ = document;
        for (auto& child : item->children_) {
            pending.push_back(child.get());
        }
    }
}

void TXMLItem::SetParent(TXMLItem* parent) {
    if (parent == parent_) {
        return;
    }
    if (parent == nullptr) {
        throw EInvalidOperation("An item cannot be taken out of its tree by setting no parent");
    }
    if (parent_ == nullptr) {
        throw EInvalidOperation("An item without a parent cannot be moved to another parent");
    }
    for (const TXMLItem* up = parent; up != nullptr; up = up->parent_) {
        if (up == this) {
            throw EInvalidOperation("An item cannot be moved into its own subtree");
        }
    }
    TXMLItem* oldParent = parent_;
    const std::size_t index = indexInParent_;
    std::unique_ptr<TXMLItem> self = std::move(oldParent->children_[index]);
    oldParent->children_.erase(oldParent->children_.begin() + static_cast<std::ptrdiff_t>(index));
    oldParent->Renumber(index);
    parent_ = parent;
    if (document_ != parent->document_) {
        SetDocumentOfSubtree(parent->document_);
    }
    indexInParent_ = parent->children_.size();
    parent->children_.push_back(std::move(self));
}

void TXMLItem::Clear() {
    notify_ = false;
    children_.clear();
    params_.Clear();
    name_.clear();
    text_.clear();
    notify_ = true;
}

TXMLItem* TXMLItem::New() {
    auto child = std::make_unique<TXMLItem>();
    child->parent_ = this;
    child->document_ = document_;
    child->indexInParent_ = children_.size();
    TXMLItem* result = child.get();
    children_.push_back(std::move(child));
    Changed();
    return result;
}

TXMLItem* TXMLItem::Adopt(std::unique_ptr<TXMLItem> child) {
    if (child == nullptr) {
        throw EInvalidOperation("No item to adopt");
    }
    if (child->parent_ != nullptr) {
        throw EInvalidOperation("An item that has a parent cannot be adopted");
    }
    child->parent_ = this;
    child->SetDocumentOfSubtree(document_);
    child->indexInParent_ = children_.size();
    TXMLItem* result = child.get();
    children_.push_back(std::move(child));
    Changed();
    return result;
}

std::unique_ptr<TXMLItem> TXMLItem::Extract(int index) {
    CheckIndex(index, children_.size());
    std::unique_ptr<TXMLItem> child = std::move(children_[index]);
    children_.erase(children_.begin() + index);
    Renumber(static_cast<std::size_t>(index));
    child->parent_ = nullptr;
    child->indexInParent_ = 0;
    child->SetDocumentOfSubtree(nullptr);
    return child;
}

void TXMLItem::Delete(int index) {
    CheckIndex(index, children_.size());
    children_.erase(children_.begin() + index);
    Renumber(static_cast<std::size_t>(index));
    Changed();
}

void TXMLItem::Move(TXMLItem* child, int newIndex) {
    const int current = IndexOf(child);
    CheckIndex(current, children_.size());
    CheckIndex(newIndex, children_.size());
    if (current == newIndex) {
        return;
    }
    auto first = children_.begin();
    if (current < newIndex) {
        std::rotate(first + current, first + current + 1, first + newIndex + 1);
    } else {
        std::rotate(first + newIndex, first + current, first + current + 1);
    }
    Renumber(static_cast<std::size_t>(std::min(current, newIndex)));
}

int TXMLItem::IndexOf(const TXMLItem* child) const {
    if (child == nullptr || child->parent_ != this || child->indexInParent_ >= children_.size() ||
        children_[child->indexInParent_].get() != child) {
        return -1;
    }
    return static_cast<int>(child->indexInParent_);
}

int TXMLItem::IndexOfName(std::string_view name, int startIndex) const {
    for (std::size_t i = static_cast<std::size_t>(std::max(startIndex, 0)); i < children_.size();
         ++i) {
        if (SameName(children_[i]->name_, name)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// ---------------------------------------------------------------------------------------------
// Written form

namespace {

void AppendHead(std::string& out, const TXMLItem& item) {
    out += item.Name();
    for (const auto& line : item.Params()) {
        out += ' ';
        out += line.name;
        out += "=\"";
        out += XMLEscape(line.value);
        out += '"';
    }
}

}  // namespace

std::string TXMLItem::AsString(int indent) const {
    // Written without recursion: one frame per open element.
    struct Frame {
        const TXMLItem* item;
        int indent;
        std::size_t next;
    };
    std::string out;
    std::vector<Frame> stack;

    // Writes an element's opening line (and text); returns true when it stays open.
    auto open = [&](const TXMLItem* item, int at) {
        const std::string_view nl = item->crLf_ ? kCrLf : "";
        const int step = item->crLf_ ? 2 : 0;
        const bool blankText = base::IsBlank(item->text_);
        out.append(static_cast<std::size_t>(at), ' ');
        out += '<';
        AppendHead(out, *item);
        if (blankText && item->children_.empty()) {
            out += "/>";
            out += nl;
            return false;
        }
        out += '>';
        out += nl;
        if (!blankText) {
            out.append(static_cast<std::size_t>(at + step), ' ');
            out += XMLEscape(item->text_);
            out += nl;
        }
        stack.push_back({item, at, 0});
        return true;
    };

    open(this, std::max(indent, 0));
    while (!stack.empty()) {
        Frame& top = stack.back();
        const TXMLItem* item = top.item;
        if (top.next < item->children_.size()) {
            const TXMLItem* child = item->children_[top.next++].get();
            child->crLf_ = item->crLf_;
            open(child, top.indent + (item->crLf_ ? 2 : 0));  // may invalidate `top`
            continue;
        }
        out.append(static_cast<std::size_t>(top.indent), ' ');
        out += "</";
        out += item->name_;
        out += '>';
        if (item->crLf_) {
            out += kCrLf;
        }
        stack.pop_back();
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Loading

namespace {

// Takes the document's change handler away for the length of a load and gives it back however
// the load ends.
class SuspendedHandler {
  public:
    explicit SuspendedHandler(TECXMLParser* document) : document_(document) {
        if (document_ != nullptr) {
            saved_ = std::move(document_->XMLItemChanged);
            document_->XMLItemChanged = nullptr;
        }
    }
    ~SuspendedHandler() {
        if (document_ != nullptr) {
            document_->XMLItemChanged = std::move(saved_);
        }
    }
    SuspendedHandler(const SuspendedHandler&) = delete;
    SuspendedHandler& operator=(const SuspendedHandler&) = delete;

  private:
    TECXMLParser* document_;
    TXMLItemChanged saved_;
};

void ReadStyleSheet(TECXMLParser& document, const std::string& declaration) {
    const std::string upper = base::AsciiUpper(declaration);
    if (upper.find("XML-STYLESHEET") == std::string::npos) {
        return;
    }
    const std::size_t href = upper.find("HREF=\"");
    if (href == std::string::npos) {
        return;
    }
    const std::size_t start = href + 6;
    const std::size_t end = declaration.find('"', start);
    document.StyleSheet =
        declaration.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace

void TXMLItem::LoadFromStream(std::istream& stream, bool largeWindow) {
    TXMLTokenizer tokenizer(stream, largeWindow);
    Load(tokenizer, nullptr);
}

void TXMLItem::LoadFromString(std::string_view text, bool largeWindow) {
    TXMLTokenizer tokenizer(text, largeWindow);
    Load(tokenizer, nullptr);
}

void TXMLItem::LoadFromString(std::string_view text, const ChildLoaded& childLoaded) {
    TXMLTokenizer tokenizer(text);
    Load(tokenizer, &childLoaded);
}

void TXMLItem::Load(TXMLTokenizer& tokenizer, const ChildLoaded* childLoaded) {
    TECXMLParser* document = document_;
    if (document != nullptr && document->BeforeLoad) {
        bool allow = true;
        document->BeforeLoad(*document, allow);
        if (!allow) {
            return;
        }
    }
    // A complete child of this item goes to childLoaded, and is freed when it asks so.
    auto completed = [&](TXMLItem* child) {
        if (childLoaded != nullptr && child->parent_ == this && (*childLoaded)(*child) &&
            !children_.empty() && children_.back().get() == child) {
            children_.pop_back();
        }
    };
    {
        SuspendedHandler suspended(document);
        Clear();
        loadedText_ = false;
        TXMLItem* current = this;
        while (true) {
            const TXMLTokenKind kind = tokenizer.Next();
            if (kind == TXMLTokenKind::EndOfInput) {
                break;
            }
            switch (kind) {
                case TXMLTokenKind::Declaration:
                    if (document != nullptr) {
                        ReadStyleSheet(*document, tokenizer.TokenText());
                    }
                    break;
                case TXMLTokenKind::Text: {
                    std::string text = XMLUnescape(tokenizer.TokenText());
                    if (text.empty()) {
                        break;
                    }
                    // An item whose text is known not to be blank (a text only grows during the
                    // load) spares a rescan of a long text for every further piece.
                    if (current->loadedText_) {
                        current->text_ += kCrLf;
                        current->text_ += text;
                    } else {
                        // The text so far is blank: the piece replaces it.
                        current->text_ = std::move(text);
                        current->loadedText_ = !base::IsBlank(current->text_);
                    }
                    break;
                }
                case TXMLTokenKind::StartTag:
                    if (!base::IsBlank(current->name_)) {
                        current = current->New();
                    }
                    current->name_ = tokenizer.TagName();
                    tokenizer.TagParams(current->params_);
                    break;
                case TXMLTokenKind::EmptyElementTag: {
                    // A document that is a single empty element names the item loaded into, so
                    // that such a document reads back as the tree it was written from.
                    TXMLItem* item = current;
                    if (current != this || !base::IsBlank(name_) || !children_.empty()) {
                        item = current->New();
                    }
                    item->name_ = tokenizer.TagName();
                    tokenizer.TagParams(item->params_);
                    if (item != this) {
                        completed(item);
                    }
                    break;
                }
                case TXMLTokenKind::EndTag:
                    // End tags are not matched by name. The item loaded into is never left:
                    // a stray end tag, or content after the outermost element, stays in it.
                    if (current != this) {
                        TXMLItem* closed = current;
                        current = current->parent_;
                        completed(closed);
                    }
                    break;
                case TXMLTokenKind::Comment:
                case TXMLTokenKind::EndOfInput:
                    break;
            }
        }
    }
    if (document != nullptr && document->OnLoaded) {
        document->OnLoaded(*document);
    }
}

// ---------------------------------------------------------------------------------------------
// TECXMLParser

TECXMLParser::TECXMLParser() : root_(std::make_unique<TXMLItem>()) {
    root_->document_ = this;
}

TECXMLParser::~TECXMLParser() = default;

void TECXMLParser::Clear() {
    if (BeforeClear) {
        bool allow = true;
        BeforeClear(*this, allow);
        if (!allow) {
            return;
        }
    }
    root_->Clear();
    if (OnCleared) {
        OnCleared(*this);
    }
}

void TECXMLParser::LoadFromFile(const std::filesystem::path& fileName) {
    std::error_code ec;
    if (std::filesystem::is_directory(fileName, ec)) {
        throw EFOpenError("Cannot open file \"" + fileName.string() + "\". " +
                          std::strerror(EISDIR));
    }
    std::ifstream in(fileName, std::ios::binary);
    if (!in) {
        const int error = errno;
        throw EFOpenError("Cannot open file \"" + fileName.string() + "\". " +
                          std::strerror(error));
    }
    LoadFromStream(in);
}

void TECXMLParser::LoadFromStream(std::istream& stream) {
    root_->LoadFromStream(stream);
}

void TECXMLParser::LoadFromString(std::string_view text) {
    root_->LoadFromString(text);
}

void TECXMLParser::LoadFromString(std::string_view text, const TXMLItem::ChildLoaded& childLoaded) {
    root_->LoadFromString(text, childLoaded);
}

void TECXMLParser::SaveToStream(std::ostream& stream, bool noStyleSheet) {
    if (BeforeSave) {
        bool allow = true;
        BeforeSave(*this, allow);
        if (!allow) {
            return;
        }
    }
    std::string text;
    if (!noStyleSheet && !base::IsBlank(StyleSheet)) {
        text = "<?xml-stylesheet type=\"text/xsl\" href=\"" + StyleSheet + "\"?>\r\n";
    }
    text += root_->AsString(0);
    stream.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (OnSaved) {
        OnSaved(*this);
    }
}

std::string TECXMLParser::SaveToString(bool noStyleSheet) {
    std::ostringstream out;
    SaveToStream(out, noStyleSheet);
    return std::move(out).str();
}

// ---------------------------------------------------------------------------------------------
// Lookup helpers

namespace {

std::string TwoQuotesAsEmpty(const std::string& value) {
    return value == "\"\"" ? "" : value;
}

}  // namespace

TXMLItem* FindItem(const TXMLItem* parent, int startIndex, std::string_view name) {
    if (parent == nullptr) {
        return nullptr;
    }
    const int index = parent->IndexOfName(name, startIndex);
    return index >= 0 ? parent->Items(index) : nullptr;
}

TXMLItem* NextItem(const TXMLItem* item) {
    if (item == nullptr || item->Parent() == nullptr) {
        return nullptr;
    }
    const TXMLItem* parent = item->Parent();
    const int index = parent->IndexOf(item);
    if (index < 0) {
        return nullptr;
    }
    return FindItem(parent, index + 1, item->Name());
}

bool ReadParam(const TXMLItem* item, std::string_view paramName, std::string_view defaultValue,
               std::string& value) {
    value = std::string(defaultValue);
    if (item == nullptr) {
        return false;
    }
    const int index = item->Params().IndexOfName(paramName);
    if (index < 0) {
        return false;
    }
    value = TwoQuotesAsEmpty(item->Params().ValueFromIndex(index));
    return true;
}

bool ReadChildParam(const TXMLItem* parent, int startIndex, std::string_view childName,
                    std::string_view paramName, std::string_view defaultValue, std::string& value,
                    TXMLItem*& child) {
    value = std::string(defaultValue);
    child = FindItem(parent, startIndex, childName);
    if (child == nullptr) {
        return false;
    }
    const int index = child->Params().IndexOfName(paramName);
    if (index >= 0) {
        value = TwoQuotesAsEmpty(child->Params().ValueFromIndex(index));
    }
    return true;
}

}  // namespace zb::xml
