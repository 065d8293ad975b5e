#include "devices/value_formats.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "base/log.h"
#include "base/text.h"
#include "devices/catalogue.h"

namespace zb::devices {

namespace {

// The lines of the value part of an assignment: trimmed, line-break encoding undone, split, and
// each line trimmed.
std::vector<std::string> ValueLines(std::string_view value) {
    std::vector<std::string> lines = base::SplitLines(BackslashToLineBreaks(base::Trim(value)));
    for (auto& line : lines) {
        line = base::Trim(line);
    }
    return lines;
}

// A value text asks for a read when its last line is exactly "?" (a function type takes the
// lines before it as the read's arguments); anything else is a value to write, even when it
// contains or ends with a question mark.
bool IsReadOperation(std::string_view operation) {
    return operation == "?";
}

void FormatErrorLine(const TVar& var) {
    base::LogLine(var.Title() + " - ошибка формата!");
}

}  // namespace

uint64_t HexToInt(std::string_view s) {
    uint64_t value = 0;
    for (char c : s) {
        const int digit = base::HexDigitValue(c);
        if (digit >= 0) {
            value = value * 16 + static_cast<uint64_t>(digit);
        }
    }
    return value;
}

uint64_t StrToHex(std::string_view s) {
    const std::string_view text = s.substr(0, std::min<size_t>(s.size(), 255));
    for (char c : text) {
        if (base::HexDigitValue(c) < 0) {
            throw EInvalidArgument("Неправильный аргумент функции StrToHex: " + std::string(s));
        }
    }
    std::string padded(text);
    if (padded.size() < 8) {
        padded.append(8 - padded.size(), '0');
    }
    uint64_t value = 0;
    for (size_t i = text.size(); i >= 1; --i) {
        const size_t pos = (i - 1) ^ 1;  // zero-based position of the digit
        value = value * 16 + static_cast<uint64_t>(base::HexDigitValue(padded[pos]));
    }
    return value;
}

size_t HexToBytes(std::string_view s, uint8_t* buffer, size_t maxCount) {
    const bool reversed = s.find('.') != std::string_view::npos;
    std::string digits;
    digits.reserve(s.size() + 1);
    for (char c : s) {
        if (c != '\r' && c != '\n' && c != '.' && c != ' ') {
            digits += c;
        }
    }
    if (digits.size() % 2 != 0) {
        digits += '0';
    }
    const size_t count = std::min(digits.size() / 2, maxCount);
    for (size_t i = 0; i < count; ++i) {
        const auto byte = static_cast<uint8_t>(HexToInt(std::string_view(digits).substr(2 * i, 2)));
        buffer[reversed ? count - 1 - i : i] = byte;
    }
    return count;
}

std::vector<uint8_t> HexToBytes(std::string_view s, size_t maxCount) {
    std::vector<uint8_t> bytes(std::min(maxCount, s.size() / 2 + 1));
    bytes.resize(HexToBytes(s, bytes.data(), bytes.size()));
    return bytes;
}

uint32_t StrToVID(std::string_view s) {
    uint8_t b[4] = {0, 0, 0, 0};
    HexToBytes(s, b, 4);
    // Reversed and read little-endian: the first byte of the text is the most significant.
    return static_cast<uint32_t>(b[0]) << 24 | static_cast<uint32_t>(b[1]) << 16 |
           static_cast<uint32_t>(b[2]) << 8 | static_cast<uint32_t>(b[3]);
}

std::string BytesToHex(const uint8_t* bytes, size_t count, std::string_view separator) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(count * (2 + separator.size()));
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) {
            out += separator;
        }
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 0x0F];
    }
    return out;
}

std::string LineBreaksToBackslash(std::string_view s) {
    return base::ReplaceAll(s, "\r\n", "\\");
}

std::string BackslashToLineBreaks(std::string_view s) {
    return base::ReplaceAll(base::ReplaceAll(s, "\\..\\", "\r\n"), "\\", "\r\n");
}

// ---- TRecordArray ----

TRecordArray::TRecordArray(size_t recordSize, std::string name)
    : recordSize_(recordSize), name_(std::move(name)) {}

void TRecordArray::Clear() {
    std::lock_guard lock(mutex_);
    count_ = 0;
    block_.clear();
    block_.shrink_to_fit();
}

size_t TRecordArray::Count() const {
    std::lock_guard lock(mutex_);
    return count_;
}

size_t TRecordArray::Capacity() const {
    std::lock_guard lock(mutex_);
    size_t capacity = 256;
    while (capacity < count_) {
        capacity *= 2;
    }
    return capacity;
}

void TRecordArray::Add(const void* record) {
    std::lock_guard lock(mutex_);
    const auto* bytes = static_cast<const uint8_t*>(record);
    block_.insert(block_.end(), bytes, bytes + recordSize_);
    ++count_;
}

bool TRecordArray::Get(size_t index, void* out) const {
    std::lock_guard lock(mutex_);
    if (index >= count_) {
        return false;
    }
    std::memcpy(out, block_.data() + index * recordSize_, recordSize_);
    return true;
}

TTransactionObjectArray& Transactions() {
    static TTransactionObjectArray transactions;
    return transactions;
}

// ---- access and operations ----

int CheckAccess(const TVar& var, std::string_view operationText, int currentLevel) {
    const int32_t need = RequiredLevel(var, operationText);
    if (need > currentLevel) {
        base::LogLine(var.Title() + " - уровень доступа недостаточен, операция невозможна.");
        return -1;
    }
    return AccessModeOfLevel(need) != 0 ? AccessModeOfLevel(currentLevel) : 0;
}

bool ApplyVarAssignment(std::string_view text, uint32_t completion, int currentLevel,
                        TTransactionObjectArray& into) {
    const size_t eq = text.find('=');
    if (eq == std::string_view::npos) {
        return false;
    }
    std::vector<std::string> arguments{base::Trim(text.substr(0, eq))};
    for (auto& line : ValueLines(text.substr(eq + 1))) {
        arguments.push_back(std::move(line));
    }
    return ExecuteVarOperation(std::move(arguments), completion, currentLevel, into);
}

bool ExecuteVarOperation(std::vector<std::string> arguments, uint32_t completion, int currentLevel,
                         TTransactionObjectArray& into) {
    if (arguments.empty()) {
        return false;
    }
    TVar* var = FindVarByTitle(VarRoot(), arguments.front());
    if (var == nullptr) {
        return false;
    }
    const std::string operation = arguments.back();
    arguments.erase(arguments.begin());
    const bool read = IsReadOperation(operation);
    const int mode = CheckAccess(*var, read ? "?" : "", currentLevel);
    if (mode < 0) {
        return false;
    }

    if (read && !arguments.empty()) {
        arguments.pop_back();
    }
    // An argument that does not fit its slot is refused rather than cut: a shortened value would
    // reach the meter as if it had been typed so.
    for (const auto& argument : arguments) {
        if (argument.size() > 255) {
            FormatErrorLine(*var);
            return false;
        }
    }

    const ZbVarSettings settings = var->PlugInSettings();
    ZbTransaction record{};
    record.var = &settings;
    record.vid = var->VID();
    record.access_mode = static_cast<uint8_t>(mode);
    record.request_built = 1;
    var->SetOpRes("***");

    const size_t slotCount = std::max<size_t>(arguments.size(), 1);
    auto slots = std::make_unique<ZbArgSlot[]>(slotCount);
    for (size_t i = 0; i < arguments.size(); ++i) {
        slots[i][0] = static_cast<unsigned char>(arguments[i].size());
        std::memcpy(&slots[i][1], arguments[i].data(), arguments[i].size());
    }
    const auto last = static_cast<int32_t>(arguments.size()) - 1;

    bool result = false;
    const TVarProcs& procs = var->Procs();
    if (read) {
        var->SetText("***");
        record.direction = ZB_DIRECTION_READ;
        result = procs.RE != nullptr && (procs.RE(&record, slots.get(), last) & 0xFF) != 0;
    } else {
        std::string text;
        for (const auto& argument : arguments) {
            text += argument + "\r\n";
        }
        var->SetText(text);
        record.direction = ZB_DIRECTION_WRITE;
        if (procs.FC == nullptr || (procs.FC(&record, slots.get(), last) & 0xFF) == 0) {
            FormatErrorLine(*var);
            return false;
        }
        result = procs.WE != nullptr && (procs.WE(&record, slots.get(), last) & 0xFF) != 0;
    }
    if (result) {
        record.completion = completion;
        record.var = nullptr;
        into.Add(&record);
    }
    return result;
}

std::string EncodeVarValue(std::string_view title, std::string_view valueText) {
    TVar* var = FindVarByTitle(VarRoot(), title);
    if (var == nullptr) {
        return {};
    }
    // The value lines are split here rather than from "<title> = <value>", so that a title
    // holding "=" is still found.
    std::vector<std::string> arguments{var->Title()};
    for (auto& line : ValueLines(valueText)) {
        arguments.push_back(std::move(line));
    }
    const int level = IsReadOperation(arguments.back()) ? var->ReadLevel() : var->WriteLevel();
    TTransactionObjectArray transactions;
    if (!ExecuteVarOperation(std::move(arguments), 0, level, transactions)) {
        return {};
    }
    ZbTransaction record{};
    if (!transactions.Get(0, record)) {
        return {};
    }
    return BytesToHex(record.request, 4u * record.request_words);
}

std::string DecodeVarAnswer(std::string_view title, std::string_view hexText) {
    if (hexText.find('!') != std::string_view::npos) {
        return std::string(hexText);
    }
    TVar* var = FindVarByTitle(VarRoot(), title);
    if (var == nullptr) {
        return std::string(hexText);
    }
    const std::vector<uint8_t> bytes = HexToBytes(hexText, kMaxAnswerBytes + 1);
    if (bytes.size() > kMaxAnswerBytes) {
        base::LogLine(var->Title() + " - ответ длиннее " + std::to_string(kMaxAnswerBytes) +
                      " байт, значение не расшифровано.");
        return std::string(hexText);
    }
    const ZbTextProc rd = var->Procs().RD;
    if (rd == nullptr) {
        return std::string(hexText);
    }
    const ZbVarSettings settings = var->PlugInSettings();
    ZbTransaction record{};
    record.var = &settings;
    std::memcpy(record.answer, bytes.data(), bytes.size());
    record.answer_words = static_cast<uint8_t>((bytes.size() + 3) / 4);
    const char* text = rd(&record);
    if (text == nullptr) {
        return std::string(hexText);
    }
    const std::string_view t(text);
    const size_t mark = t.find('\x01');
    return std::string(mark == std::string_view::npos ? t : t.substr(mark + 1));
}

}  // namespace zb::devices
