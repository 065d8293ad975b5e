// The base module ZarnicMaster_00xx: the default encoding and decoding for every data type of
// the type table, and the fallback for every function that another library does not export.
// The value forms are described in devices/plugin_abi.h.
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "devices/plugin_abi.h"

namespace {

enum class Kind {
    Flag,
    Bits,
    MaskedBits,
    Bytes,
    Unsigned,
    Signed,
    Bool,
    Event,
    Time,
    Utc,
    Float32,
    Float64,
    StrPas,
    StrBytePas,
    Func,
    Unknown,
};

const char* TypeNameOf(int32_t code) {
    switch (code) {
        case 0x00:
            return "flag";
        case 0x01:
            return "flagX";
        case 0x02:
            return "mflagX";
        case 0x03:
            return "bitRecX";
        case 0x11:
            return "byte";
        case 0x12:
            return "byte2";
        case 0x13:
            return "byte3";
        case 0x14:
            return "frame/byte4";
        case 0x21:
            return "uint8";
        case 0x22:
            return "uint16";
        case 0x23:
            return "uint24";
        case 0x24:
            return "uint32";
        case 0x28:
            return "bool";
        case 0x29:
            return "event";
        case 0x2A:
            return "time";
        case 0x2B:
            return "utc";
        case 0x31:
            return "int8";
        case 0x32:
            return "int16";
        case 0x33:
            return "int24";
        case 0x34:
            return "int32";
        case 0x41:
            return "float32";
        case 0x42:
            return "float64";
        case 0x50:
            return "StrPas";
        case 0x51:
            return "StrBytePas";
        case 0x60:
            return "Func";
        case 0x68:
            return "L.Func";
        default:
            return "unknown";
    }
}

Kind KindOf(int32_t code) {
    switch (code) {
        case 0x00:
            return Kind::Flag;
        case 0x01:
        case 0x03:
            return Kind::Bits;
        case 0x02:
            return Kind::MaskedBits;
        case 0x11:
        case 0x12:
        case 0x13:
        case 0x14:
            return Kind::Bytes;
        case 0x21:
        case 0x22:
        case 0x23:
        case 0x24:
            return Kind::Unsigned;
        case 0x31:
        case 0x32:
        case 0x33:
        case 0x34:
            return Kind::Signed;
        case 0x28:
            return Kind::Bool;
        case 0x29:
            return Kind::Event;
        case 0x2A:
            return Kind::Time;
        case 0x2B:
            return Kind::Utc;
        case 0x41:
            return Kind::Float32;
        case 0x42:
            return Kind::Float64;
        case 0x50:
            return Kind::StrPas;
        case 0x51:
            return Kind::StrBytePas;
        case 0x60:
        case 0x68:
            return Kind::Func;
        default:
            return Kind::Unknown;
    }
}

// The type as the settings describe it. `size` is the size of one element (for strings the
// largest length, for an unknown type without VarLen 0 = any); `valid` is false when the settings
// give a size the type cannot have.
struct Shape {
    Kind kind = Kind::Unknown;
    const char* name = "unknown";
    size_t size = 0;
    size_t count = 1;
    bool countGiven = false;  // VarCount was not 0
    bool valid = true;
};

Shape ShapeOf(const ZbVarSettings& s) {
    Shape shape;
    shape.kind = KindOf(s.type_code);
    shape.name = TypeNameOf(s.type_code);
    shape.count = s.var_count > 0 ? static_cast<size_t>(s.var_count) : 1;
    shape.countGiven = s.var_count > 0;
    const size_t len = s.var_len > 0 ? static_cast<size_t>(s.var_len) : 0;
    const auto lowDigit = static_cast<size_t>(s.type_code & 0x0F);
    switch (shape.kind) {
        case Kind::Flag:
        case Kind::Bool:
            shape.size = 1;
            break;
        case Kind::Bits:
        case Kind::MaskedBits:
            shape.size = len == 0 ? 1 : len;
            shape.valid = shape.size <= 8;
            break;
        case Kind::Bytes:
            shape.size = len == 0 ? lowDigit : len;
            break;
        case Kind::Unsigned:
        case Kind::Signed:
            shape.size = lowDigit;
            break;
        case Kind::Event:
        case Kind::Time:
        case Kind::Utc:
        case Kind::Float32:
        case Kind::Func:
            shape.size = 4;
            break;
        case Kind::Float64:
            shape.size = 8;
            break;
        case Kind::StrPas:
        case Kind::StrBytePas:
            shape.size = len == 0 ? 255 : len;
            shape.valid = shape.size <= 255;
            break;
        case Kind::Unknown:
            shape.size = len;
            break;
    }
    if (s.var_len < 0 || s.var_count < 0 || shape.count > ZB_REQUEST_BYTES ||
        shape.size > ZB_REQUEST_BYTES) {
        shape.valid = false;
    }
    return shape;
}

const ZbVarSettings* SettingsOf(const ZbTransaction* record) {
    if (record == nullptr || record->var == nullptr || record->var->size < sizeof(ZbVarSettings)) {
        return nullptr;
    }
    return record->var;
}

std::vector<std::string> Arguments(const ZbArgSlot* args, int32_t last) {
    std::vector<std::string> out;
    if (args == nullptr) {
        return out;
    }
    for (int32_t i = 0; i <= last; ++i) {
        out.emplace_back(reinterpret_cast<const char*>(&args[i][1]), args[i][0]);
    }
    return out;
}

void StoreArgument(ZbArgSlot& slot, const std::string& text) {
    const size_t n = text.size() > 255 ? 255 : text.size();
    slot[0] = static_cast<unsigned char>(n);
    std::memcpy(&slot[1], text.data(), n);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool ParseHexBytes(std::string_view text, std::vector<uint8_t>& out) {
    if (text.empty() || text.size() % 2 != 0) {
        return false;
    }
    for (size_t i = 0; i < text.size(); i += 2) {
        const int hi = HexDigit(text[i]);
        const int lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) {
            return false;
        }
        out.push_back(static_cast<uint8_t>(hi << 4 | lo));
    }
    return true;
}

std::string Hex(const uint8_t* bytes, size_t n) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += kDigits[bytes[i] >> 4];
        s += kDigits[bytes[i] & 0x0F];
    }
    return s;
}

void PutLittleEndian(std::vector<uint8_t>& out, uint64_t value, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

uint64_t GetLittleEndian(const uint8_t* p, size_t size) {
    uint64_t v = 0;
    for (size_t i = 0; i < size; ++i) {
        v |= static_cast<uint64_t>(p[i]) << (8 * i);
    }
    return v;
}

// Whole decimal numbers: an optional sign and digits only.
bool ParseSigned(std::string_view text, int64_t minValue, int64_t maxValue, int64_t& out) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') {
            return false;
        }
    }
    int64_t v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || v < minValue ||
        v > maxValue) {
        return false;
    }
    out = v;
    return true;
}

bool ParseUnsigned(std::string_view text, uint64_t maxValue, uint64_t& out) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    if (text.empty() || text.front() == '-') {
        return false;
    }
    uint64_t v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || v > maxValue) {
        return false;
    }
    out = v;
    return true;
}

// A 32-bit argument of a function: signed or unsigned decimal.
bool ParseWord(std::string_view text, uint32_t& out) {
    int64_t s = 0;
    if (ParseSigned(text, INT32_MIN, UINT32_MAX, s)) {
        out = static_cast<uint32_t>(s);
        return true;
    }
    return false;
}

bool ParseFloat(std::string text, double& out) {
    for (char& c : text) {
        if (c == ',') {
            c = '.';
        }
    }
    const char* begin = text.data();
    if (!text.empty() && text.front() == '+') {
        ++begin;
    }
    double v = 0;
    const auto [end, ec] =
        std::from_chars(begin, text.data() + text.size(), v, std::chars_format::general);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(v)) {
        return false;
    }
    out = v;
    return true;
}

std::string FloatText(double v, bool single) {
    char buf[64];
    const auto result = single ? std::to_chars(buf, buf + sizeof buf, static_cast<float>(v))
                               : std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, result.ptr);
}

// Days between 1970-01-01 and a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

const int64_t kEpoch2000 = DaysFromCivil(2000, 1, 1);

unsigned DaysInMonth(int64_t y, unsigned m) {
    static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : kDays[m - 1];
}

bool ReadNumber(std::string_view& text, size_t digits, unsigned& out) {
    if (text.size() < digits) {
        return false;
    }
    unsigned v = 0;
    for (size_t i = 0; i < digits; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        v = v * 10 + static_cast<unsigned>(text[i] - '0');
    }
    text.remove_prefix(digits);
    out = v;
    return true;
}

bool Expect(std::string_view& text, char c) {
    if (text.empty() || text.front() != c) {
        return false;
    }
    text.remove_prefix(1);
    return true;
}

// "dd.mm.yyyy hh:nn:ss" (seconds optional, time optional) -> seconds since 01.01.2000.
bool ParseDateTime(std::string_view text, bool utc, uint32_t& out) {
    if (utc && text.size() >= 4 && text.substr(text.size() - 4) == " UTC") {
        text.remove_suffix(4);
    }
    unsigned day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0;
    if (!ReadNumber(text, 2, day) || !Expect(text, '.') || !ReadNumber(text, 2, month) ||
        !Expect(text, '.') || !ReadNumber(text, 4, year)) {
        return false;
    }
    if (!text.empty()) {
        if (!Expect(text, ' ') || !ReadNumber(text, 2, hour) || !Expect(text, ':') ||
            !ReadNumber(text, 2, minute)) {
            return false;
        }
        if (!text.empty() && (!Expect(text, ':') || !ReadNumber(text, 2, second))) {
            return false;
        }
        if (!text.empty()) {
            return false;
        }
    }
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59 || year < 2000) {
        return false;
    }
    const int64_t seconds =
        (DaysFromCivil(year, month, day) - kEpoch2000) * 86400 + hour * 3600 + minute * 60 + second;
    if (seconds > UINT32_MAX) {
        return false;
    }
    out = static_cast<uint32_t>(seconds);
    return true;
}

std::string DateTimeText(uint32_t seconds, bool utc) {
    int64_t y = 0;
    unsigned m = 0, d = 0;
    CivilFromDays(kEpoch2000 + seconds / 86400, y, m, d);
    const uint32_t s = seconds % 86400;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02u.%02u.%04lld %02u:%02u:%02u%s", d, m,
                  static_cast<long long>(y), s / 3600, s / 60 % 60, s % 60, utc ? " UTC" : "");
    return buf;
}

// "0"/"false" -> 0, "1"/"true" -> 1 (letter case ignored), anything else -1.
int BoolValue(const std::string& text) {
    std::string lower;
    for (char c : text) {
        lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    if (lower == "0" || lower == "false") {
        return 0;
    }
    if (lower == "1" || lower == "true") {
        return 1;
    }
    return -1;
}

// One element of a write: its text -> bytes appended to `value` (and `mask` for mflagX).
bool EncodeElement(const Shape& shape, const std::string& text, std::vector<uint8_t>& value,
                   std::vector<uint8_t>& mask) {
    switch (shape.kind) {
        case Kind::Flag:
            if (text != "0" && text != "1") {
                return false;
            }
            value.push_back(text == "1" ? 1 : 0);
            return true;
        case Kind::Bool: {
            const int b = BoolValue(text);
            if (b < 0) {
                return false;
            }
            value.push_back(static_cast<uint8_t>(b));
            return true;
        }
        case Kind::Bits:
        case Kind::MaskedBits: {
            if (text.empty() || text.size() > 8 * shape.size) {
                return false;
            }
            uint64_t bits = 0, used = 0;
            for (char c : text) {
                bits <<= 1;
                used <<= 1;
                if (c == '1' || c == '0') {
                    bits |= c == '1' ? 1 : 0;
                    used |= 1;
                } else if (!(shape.kind == Kind::MaskedBits && (c == 'x' || c == 'X'))) {
                    return false;
                }
            }
            PutLittleEndian(value, bits, shape.size);
            if (shape.kind == Kind::MaskedBits) {
                PutLittleEndian(mask, used, shape.size);
            }
            return true;
        }
        case Kind::Bytes: {
            std::vector<uint8_t> bytes;
            if (!ParseHexBytes(text, bytes) || bytes.size() != shape.size) {
                return false;
            }
            value.insert(value.end(), bytes.begin(), bytes.end());
            return true;
        }
        case Kind::Unknown: {
            std::vector<uint8_t> bytes;
            if (!ParseHexBytes(text, bytes) || (shape.size != 0 && bytes.size() != shape.size)) {
                return false;
            }
            value.insert(value.end(), bytes.begin(), bytes.end());
            return true;
        }
        case Kind::Unsigned:
        case Kind::Event: {
            uint64_t v = 0;
            const uint64_t maxValue = shape.size >= 8 ? UINT64_MAX : (1ull << (8 * shape.size)) - 1;
            if (!ParseUnsigned(text, maxValue, v)) {
                return false;
            }
            PutLittleEndian(value, v, shape.size);
            return true;
        }
        case Kind::Signed: {
            int64_t v = 0;
            const int64_t maxValue = (int64_t{1} << (8 * shape.size - 1)) - 1;
            if (!ParseSigned(text, -maxValue - 1, maxValue, v)) {
                return false;
            }
            PutLittleEndian(value, static_cast<uint64_t>(v), shape.size);
            return true;
        }
        case Kind::Time:
        case Kind::Utc: {
            uint32_t seconds = 0;
            if (!ParseDateTime(text, shape.kind == Kind::Utc, seconds)) {
                return false;
            }
            PutLittleEndian(value, seconds, 4);
            return true;
        }
        case Kind::Float32: {
            double v = 0;
            if (!ParseFloat(text, v) || std::fabs(v) > FLT_MAX) {
                return false;
            }
            const auto f = static_cast<float>(v);
            uint32_t bits = 0;
            std::memcpy(&bits, &f, 4);
            PutLittleEndian(value, bits, 4);
            return true;
        }
        case Kind::Float64: {
            double v = 0;
            if (!ParseFloat(text, v)) {
                return false;
            }
            uint64_t bits = 0;
            std::memcpy(&bits, &v, 8);
            PutLittleEndian(value, bits, 8);
            return true;
        }
        case Kind::StrPas: {
            if (text.size() > shape.size) {
                return false;
            }
            value.push_back(static_cast<uint8_t>(text.size()));
            value.insert(value.end(), text.begin(), text.end());
            return true;
        }
        case Kind::StrBytePas: {
            std::vector<uint8_t> bytes;
            if ((!text.empty() && !ParseHexBytes(text, bytes)) || bytes.size() > shape.size) {
                return false;
            }
            value.push_back(static_cast<uint8_t>(bytes.size()));
            value.insert(value.end(), bytes.begin(), bytes.end());
            return true;
        }
        case Kind::Func: {
            uint32_t w = 0;
            if (!ParseWord(text, w)) {
                return false;
            }
            PutLittleEndian(value, w, 4);
            return true;
        }
    }
    return false;
}

// The bytes of a write (without the identifier word); false when the values do not fit.
bool EncodeWrite(const Shape& shape, const std::vector<std::string>& args,
                 std::vector<uint8_t>& out) {
    if (!shape.valid || args.empty()) {
        return false;
    }
    if (shape.kind == Kind::Func) {
        if (shape.countGiven && args.size() > shape.count) {
            return false;
        }
    } else if (args.size() != shape.count) {
        return false;
    }
    for (const std::string& arg : args) {
        std::vector<uint8_t> value, mask;
        if (!EncodeElement(shape, arg, value, mask)) {
            return false;
        }
        out.insert(out.end(), value.begin(), value.end());
        out.insert(out.end(), mask.begin(), mask.end());
    }
    return out.size() <= 4 * ZB_MAX_WORDS - 4;
}

// The identifier word and the payload, padded to whole words.
uint8_t PutRequest(ZbTransaction* record, const std::vector<uint8_t>& payload) {
    const size_t bytes = 4 + payload.size();
    const size_t words = (bytes + 3) / 4;
    if (words > ZB_MAX_WORDS) {
        return 0;
    }
    std::memset(record->request, 0, sizeof record->request);
    const uint32_t vid = record->var->vid;
    for (size_t i = 0; i < 4; ++i) {
        record->request[i] = static_cast<uint8_t>(vid >> (8 * i));
    }
    if (!payload.empty()) {
        std::memcpy(record->request + 4, payload.data(), payload.size());
    }
    record->request_words = static_cast<uint8_t>(words);
    return 1;
}

// One element of an answer as text; `p` holds shape.size bytes.
std::string DecodeElement(const Shape& shape, const uint8_t* p) {
    switch (shape.kind) {
        case Kind::Flag:
            return p[0] != 0 ? "1" : "0";
        case Kind::Bool:
            return p[0] != 0 ? "1" : "0";
        case Kind::Bits:
        case Kind::MaskedBits: {
            const uint64_t v = GetLittleEndian(p, shape.size);
            std::string s;
            for (size_t bit = 8 * shape.size; bit-- > 0;) {
                s += ((v >> bit) & 1) != 0 ? '1' : '0';
            }
            return s;
        }
        case Kind::Unsigned:
        case Kind::Event:
            return std::to_string(GetLittleEndian(p, shape.size));
        case Kind::Signed: {
            uint64_t v = GetLittleEndian(p, shape.size);
            const unsigned bits = static_cast<unsigned>(8 * shape.size);
            if (bits < 64 && (v >> (bits - 1)) != 0) {
                v |= ~uint64_t{0} << bits;
            }
            return std::to_string(static_cast<int64_t>(v));
        }
        case Kind::Time:
        case Kind::Utc:
            return DateTimeText(static_cast<uint32_t>(GetLittleEndian(p, 4)),
                                shape.kind == Kind::Utc);
        case Kind::Float32: {
            const auto bits = static_cast<uint32_t>(GetLittleEndian(p, 4));
            float f = 0;
            std::memcpy(&f, &bits, 4);
            return FloatText(f, true);
        }
        case Kind::Float64: {
            const uint64_t bits = GetLittleEndian(p, 8);
            double d = 0;
            std::memcpy(&d, &bits, 8);
            return FloatText(d, false);
        }
        case Kind::Func: {
            char buf[16];
            std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(GetLittleEndian(p, 4)));
            return buf;
        }
        default:
            return Hex(p, shape.size);
    }
}

// The value text of an answer; false when the answer does not have the shape of the type.
bool DecodeAnswer(const Shape& shape, const uint8_t* answer, size_t available, std::string& out) {
    if (!shape.valid) {
        return false;
    }
    std::vector<std::string> elements;
    if (shape.kind == Kind::StrPas || shape.kind == Kind::StrBytePas) {
        size_t pos = 0;
        for (size_t i = 0; i < shape.count; ++i) {
            if (pos >= available) {
                return false;
            }
            const size_t len = answer[pos];
            if (len > shape.size || pos + 1 + len > available) {
                return false;
            }
            elements.push_back(
                shape.kind == Kind::StrPas
                    ? std::string(reinterpret_cast<const char*>(answer + pos + 1), len)
                    : Hex(answer + pos + 1, len));
            pos += 1 + len;
        }
    } else if (shape.kind == Kind::Func) {
        if (available == 0) {
            return false;
        }
        for (size_t pos = 0; pos + 4 <= available; pos += 4) {
            elements.push_back(DecodeElement(shape, answer + pos));
        }
    } else if (shape.kind == Kind::Unknown && shape.size == 0) {
        elements.push_back(Hex(answer, available));
    } else {
        if (shape.size == 0 || shape.size * shape.count > available) {
            return false;
        }
        for (size_t i = 0; i < shape.count; ++i) {
            elements.push_back(DecodeElement(shape, answer + i * shape.size));
        }
    }
    out.clear();
    for (size_t i = 0; i < elements.size(); ++i) {
        if (i > 0) {
            out += "\r\n";
        }
        out += elements[i];
    }
    return true;
}

// The text returned by RD, WD and ED lives until the next call on the same thread.
thread_local std::string tText;

const char* Answer(const char* name, const std::string& value) {
    tText = std::string(name) + '\x01' + value;
    return tText.c_str();
}

const char* AnswerHex(const char* name, const ZbTransaction* record) {
    return Answer(name, Hex(record->answer, 4u * record->answer_words));
}

std::string FormOf(const Shape& shape) {
    const std::string size = std::to_string(shape.size);
    switch (shape.kind) {
        case Kind::Flag:
        case Kind::Bool:
            return "0 | 1";
        case Kind::Bits:
            return "binary digits, at most " + std::to_string(8 * shape.size);
        case Kind::MaskedBits:
            return "binary digits or x, at most " + std::to_string(8 * shape.size);
        case Kind::Bytes:
            return size + " bytes in hexadecimal";
        case Kind::Unsigned:
        case Kind::Event:
            return "0.." +
                   std::to_string((shape.size >= 8 ? UINT64_MAX : (1ull << (8 * shape.size)) - 1));
        case Kind::Signed: {
            const int64_t maxValue = (int64_t{1} << (8 * shape.size - 1)) - 1;
            return std::to_string(-maxValue - 1) + ".." + std::to_string(maxValue);
        }
        case Kind::Time:
            return "dd.mm.yyyy hh:nn:ss";
        case Kind::Utc:
            return "dd.mm.yyyy hh:nn:ss UTC";
        case Kind::Float32:
        case Kind::Float64:
            return "decimal number";
        case Kind::StrPas:
            return "text, at most " + size + " bytes";
        case Kind::StrBytePas:
            return "hexadecimal, at most " + size + " bytes";
        case Kind::Func:
            return "32-bit decimal arguments, one per line";
        case Kind::Unknown:
            return "hexadecimal bytes";
    }
    return {};
}

}  // namespace

extern "C" {

uint8_t PlainRE(ZbTransaction* record, ZbArgSlot* args, int32_t last) {
    const ZbVarSettings* s = SettingsOf(record);
    if (s == nullptr) {
        return 0;
    }
    const Shape shape = ShapeOf(*s);
    std::vector<uint8_t> payload;
    if (shape.kind == Kind::Func) {
        const std::vector<std::string> arguments = Arguments(args, last);
        if (shape.countGiven && arguments.size() > shape.count) {
            return 0;
        }
        for (const std::string& arg : arguments) {
            uint32_t w = 0;
            if (!ParseWord(arg, w)) {
                return 0;
            }
            PutLittleEndian(payload, w, 4);
        }
    }
    record->direction = ZB_DIRECTION_READ;
    return PutRequest(record, payload);
}

uint8_t PlainFC(ZbTransaction* record, ZbArgSlot* args, int32_t last) {
    const ZbVarSettings* s = SettingsOf(record);
    if (s == nullptr || args == nullptr) {
        return 0;
    }
    const Shape shape = ShapeOf(*s);
    const std::vector<std::string> arguments = Arguments(args, last);
    std::vector<uint8_t> bytes;
    if (!EncodeWrite(shape, arguments, bytes)) {
        return 0;
    }
    // Normal forms, so that what WE encodes is what a reader of the work sees.
    for (size_t i = 0; i < arguments.size(); ++i) {
        std::string text = arguments[i];
        if (shape.kind == Kind::Float32 || shape.kind == Kind::Float64) {
            for (char& c : text) {
                if (c == ',') {
                    c = '.';
                }
            }
        } else if (shape.kind == Kind::Bool) {
            text = std::to_string(BoolValue(text));
        }
        StoreArgument(args[i], text);
    }
    return 1;
}

uint8_t PlainWE(ZbTransaction* record, ZbArgSlot* args, int32_t last) {
    const ZbVarSettings* s = SettingsOf(record);
    if (s == nullptr) {
        return 0;
    }
    std::vector<uint8_t> payload;
    if (!EncodeWrite(ShapeOf(*s), Arguments(args, last), payload)) {
        return 0;
    }
    record->direction = ZB_DIRECTION_WRITE;
    return PutRequest(record, payload);
}

uint8_t PlainALC(ZbTransaction* record, ZbArgSlot* /*args*/, int32_t /*last*/) {
    const ZbVarSettings* s = SettingsOf(record);
    if (s == nullptr) {
        return 0;
    }
    const int32_t level = record->direction == ZB_DIRECTION_WRITE ? s->write_level : s->read_level;
    return level >= 0 && level < ZB_LEVEL_NONE ? 1 : 0;
}

const char* PlainRD(ZbTransaction* record) {
    const ZbVarSettings* s = SettingsOf(record);
    if (s == nullptr) {
        return record == nullptr ? "" : AnswerHex("unknown", record);
    }
    const Shape shape = ShapeOf(*s);
    std::string value;
    if (!DecodeAnswer(shape, record->answer, 4u * record->answer_words, value)) {
        return AnswerHex(shape.name, record);
    }
    return Answer(shape.name, value);
}

const char* PlainWD(ZbTransaction* record) {
    const ZbVarSettings* s = SettingsOf(record);
    const char* name = s == nullptr ? "unknown" : TypeNameOf(s->type_code);
    if (record == nullptr) {
        return "";
    }
    if (record->answer_words == 0) {
        return Answer(name, "OK");
    }
    return AnswerHex(name, record);
}

const char* PlainED(ZbTransaction* record) {
    const ZbVarSettings* s = SettingsOf(record);
    if (s == nullptr) {
        return "";
    }
    const Shape shape = ShapeOf(*s);
    std::string form = FormOf(shape);
    if (shape.count > 1) {
        form += ", " + std::to_string(shape.count) + " lines";
    }
    return Answer(shape.name, form);
}

}  // extern "C"
