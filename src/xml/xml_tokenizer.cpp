// The tokenizer of the XML tree: cuts a byte stream into tags and texts through a window of
// 4096 bytes that always ends after a line feed.
#include <algorithm>
#include <cstring>
#include <istream>

#include "base/text.h"
#include "xml/xml_tree.h"

namespace zb::xml {

namespace {

bool IsBlankChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           base::EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// Removes every occurrence of a two-character pair, scanning left to right.
std::string RemovePairs(std::string_view text, char first, char second) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == first && i + 1 < text.size() && text[i + 1] == second) {
            ++i;
            continue;
        }
        out += text[i];
    }
    return out;
}

std::string CollapseSpaces(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == ' ' && !out.empty() && out.back() == ' ') {
            continue;
        }
        out += c;
    }
    return out;
}

}  // namespace

EParserError::EParserError(const std::string& reason, int line)
    : std::runtime_error(reason + " on line " + std::to_string(line)), line_(line) {}

TXMLTokenizer::TXMLTokenizer(std::istream& stream, bool largeWindow)
    : stream_(&stream), large_(largeWindow) {
    if (large_) {
        ReadAll();
    } else {
        buffer_.resize(kWindowSize);
    }
}

TXMLTokenizer::TXMLTokenizer(std::string_view text, bool largeWindow)
    : large_(largeWindow), memory_(true), source_(text) {
    streamDone_ = true;
    if (large_) {
        fill_ = source_.size();
        windowEnd_ = fill_;
    }
}

TXMLTokenizer::~TXMLTokenizer() = default;

void TXMLTokenizer::ReadAll() {
    constexpr std::size_t kChunk = 1 << 16;
    buffer_.clear();
    while (*stream_) {
        const std::size_t at = buffer_.size();
        buffer_.resize(at + kChunk);
        stream_->read(buffer_.data() + at, static_cast<std::streamsize>(kChunk));
        buffer_.resize(at +
                       static_cast<std::size_t>(std::max<std::streamsize>(stream_->gcount(), 0)));
    }
    if (stream_->bad()) {
        throw EParserError("Read error", line_);
    }
    fill_ = buffer_.size();
    windowEnd_ = fill_;
    streamDone_ = true;
}

bool TXMLTokenizer::Refill() {
    if (large_) {
        return false;
    }
    if (memory_) {
        // The same window as the stream's, over the text where it lies: up to kWindowSize bytes
        // from the read position, ending after the last line feed when they are that many.
        fill_ = std::min(source_.size(), pos_ + kWindowSize);
        windowEnd_ = fill_;
        if (fill_ - pos_ == kWindowSize) {
            const char* begin = source_.data() + pos_;
            const char* end = source_.data() + fill_;
            const auto rend =
                std::find(std::make_reverse_iterator(end), std::make_reverse_iterator(begin), '\n');
            if (rend.base() == begin) {
                throw EParserError("Line too long", line_);
            }
            windowEnd_ = static_cast<std::size_t>(rend.base() - source_.data());
        }
        return pos_ < windowEnd_;
    }
    // The unread rest moves to the start of the buffer, then as much is read as fits.
    if (pos_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + pos_, fill_ - pos_);
        fill_ -= pos_;
        pos_ = 0;
    }
    if (!streamDone_ && fill_ < kWindowSize) {
        stream_->read(buffer_.data() + fill_, static_cast<std::streamsize>(kWindowSize - fill_));
        if (stream_->bad()) {
            throw EParserError("Read error", line_);
        }
        const auto got = static_cast<std::size_t>(std::max<std::streamsize>(stream_->gcount(), 0));
        fill_ += got;
        if (fill_ < kWindowSize) {
            streamDone_ = true;
        }
    }
    if (fill_ == kWindowSize) {
        // A full buffer: the window ends after its last line feed; the rest waits for the next
        // refill. Without a line feed the line cannot be read through this window.
        const auto rend = std::find(buffer_.rbegin(), buffer_.rend(), '\n');
        if (rend == buffer_.rend()) {
            throw EParserError("Line too long", line_);
        }
        windowEnd_ = static_cast<std::size_t>(buffer_.rend() - rend);
    } else {
        windowEnd_ = fill_;
    }
    return pos_ < windowEnd_;
}

bool TXMLTokenizer::AtEnd() {
    if (pos_ < windowEnd_) {
        return false;
    }
    return !Refill();
}

void TXMLTokenizer::MakeText() {
    // One pass: a token without line breaks and double spaces is its own text (the common
    // case, which then costs no copy).
    bool plain = true;
    char previous = 0;
    for (const char c : token_) {
        if (c == '\r' || c == '\n' || (c == ' ' && previous == ' ')) {
            plain = false;
            break;
        }
        previous = c;
    }
    if (plain) {
        textIsToken_ = true;
        return;
    }
    textIsToken_ = false;
    text_ = CollapseSpaces(RemovePairs(RemovePairs(token_, '\r', '\n'), '\n', '\r'));
}

TXMLTokenKind TXMLTokenizer::Next() {
    token_.clear();
    text_.clear();
    textIsToken_ = false;
    while (true) {
        if (AtEnd()) {
            kind_ = TXMLTokenKind::EndOfInput;
            return kind_;
        }
        const char c = Data()[pos_];
        if (!IsBlankChar(c)) {
            break;
        }
        if (c == '\n') {
            ++line_;
        }
        ++pos_;
    }

    const char* data = Data();
    if (data[pos_] == '<') {
        // A tag runs up to and including the next ">", continued across refills. Inside a
        // quoted attribute value, "<br/>" is the escaped form of a line break that the writer
        // puts there, and does not end the tag.
        const int startLine = line_;
        std::size_t quotes = 0;
        while (true) {
            if (AtEnd()) {
                throw EParserError("Unterminated tag", startLine);
            }
            data = Data();
            const char* begin = data + pos_;
            const char* end = data + windowEnd_;
            const char* close = static_cast<const char*>(std::memchr(begin, '>', end - begin));
            const char* stop = close != nullptr ? close + 1 : end;
            token_.append(begin, stop);
            line_ += static_cast<int>(std::count(begin, stop, '\n'));
            quotes += static_cast<std::size_t>(std::count(begin, stop, '"'));
            pos_ = static_cast<std::size_t>(stop - data);
            if (close != nullptr && !(quotes % 2 == 1 && token_.ends_with("<br/>") &&
                                      token_.size() > 5 && !token_.starts_with("<!--"))) {
                break;
            }
        }
        if (StartsWithNoCase(token_, "<?xml")) {
            kind_ = TXMLTokenKind::Declaration;
        } else if (token_.starts_with("<!--")) {
            kind_ = TXMLTokenKind::Comment;
        } else if (token_.ends_with("/>")) {
            kind_ = TXMLTokenKind::EmptyElementTag;
        } else if (token_.starts_with("</")) {
            kind_ = TXMLTokenKind::EndTag;
        } else {
            kind_ = TXMLTokenKind::StartTag;
        }
        MakeText();
        return kind_;
    }

    // A text runs up to the next "<" or the end of input, continued across refills; its trailing
    // characters of code 0..32 are not part of it.
    while (!AtEnd()) {
        data = Data();
        const char* begin = data + pos_;
        const char* end = data + windowEnd_;
        const char* open = static_cast<const char*>(std::memchr(begin, '<', end - begin));
        const char* stop = open != nullptr ? open : end;
        token_.append(begin, stop);
        line_ += static_cast<int>(std::count(begin, stop, '\n'));
        pos_ = static_cast<std::size_t>(stop - data);
        if (open != nullptr) {
            break;
        }
    }
    while (!token_.empty() && static_cast<unsigned char>(token_.back()) <= 32) {
        token_.pop_back();
    }
    kind_ = TXMLTokenKind::Text;
    MakeText();
    return kind_;
}

std::string TXMLTokenizer::TagName() const {
    const std::string& text = TokenText();
    std::string_view rest(text);
    if (!rest.empty() && rest.front() == '<') {
        rest.remove_prefix(1);
    }
    std::size_t end = rest.find(' ');
    if (end == std::string_view::npos) {
        end = rest.find('/');
    }
    if (end == std::string_view::npos) {
        end = rest.ends_with('>') ? rest.size() - 1 : rest.size();
    }
    return std::string(rest.substr(0, end));
}

void TXMLTokenizer::TagParams(TXMLParams& params) const {
    params.Clear();
    const std::string& text = TokenText();
    const std::size_t space = text.find(' ');
    if (space == std::string::npos) {
        return;
    }
    std::string_view part = std::string_view(text).substr(space + 1);
    if (part.ends_with("/>")) {
        part.remove_suffix(2);
    } else if (part.ends_with('>')) {
        part.remove_suffix(1);
    }
    // Spaces outside double quotes separate the attributes. Blanks before the tag's end and
    // between attributes make no attribute of their own. Each attribute is "name=value" (a
    // line without "=" is a name with an empty value); each value loses its enclosing double
    // quotes (a value of two characters or less keeps them, so "" stays two quotes) and is
    // unescaped. Every line keeps its place, an empty value included.
    auto add = [&params](std::string_view line) {
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            params.Add(std::string(line), std::string());
            return;
        }
        std::string_view value = line.substr(eq + 1);
        if (value.size() > 2) {
            if (value.front() == '"') {
                value.remove_prefix(1);
            }
            if (value.back() == '"') {
                value.remove_suffix(1);
            }
        }
        params.Add(std::string(line.substr(0, eq)), XMLUnescape(value));
    };
    // Two passes: the first counts the attributes, so the list is allocated once.
    for (const bool count : {true, false}) {
        int attributes = 0;
        bool inQuotes = false;
        std::size_t start = 0;
        auto take = [&](std::size_t end) {
            if (end > start) {
                ++attributes;
                if (!count) {
                    add(part.substr(start, end - start));
                }
            }
            start = end + 1;
        };
        for (std::size_t i = 0; i < part.size(); ++i) {
            if (part[i] == '"') {
                inQuotes = !inQuotes;
            } else if (part[i] == ' ' && !inQuotes) {
                take(i);
            }
        }
        take(part.size());
        if (count) {
            params.Reserve(attributes);
        }
    }
}

}  // namespace zb::xml
