#pragma once
// Value formats: the hexadecimal helpers used throughout the server, the line-break convention
// for multi-line values kept in one-line places, the access check, and the encoding of value
// texts into request bytes and of answer bytes into value texts through the plug-in functions of
// the variable's device type.
//
// EncodeVarValue and DecodeVarAnswer may be called from several threads at once: each call works
// on its own transaction records, and a variable's Text and OpRes are guarded by its own lock.
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "devices/parameter_model.h"
#include "devices/plugin_abi.h"

namespace zb::devices {

class EInvalidArgument : public std::invalid_argument {
  public:
    using std::invalid_argument::invalid_argument;
};

// Reads hexadecimal digits in ordinary order; other characters are ignored; "" gives 0.
uint64_t HexToInt(std::string_view s);
// Reads digits in little-endian byte order, two per byte ("78563412" gives 0x12345678). Raises
// EInvalidArgument "Неправильный аргумент функции StrToHex: <S>" on a non-hexadecimal character.
uint64_t StrToHex(std::string_view s);
// Writes at most maxCount bytes; CR, LF, points and blanks are skipped, an odd digit count is
// padded with "0", and a point anywhere reverses the byte order. Returns the count written.
size_t HexToBytes(std::string_view s, uint8_t* buffer, size_t maxCount);
std::vector<uint8_t> HexToBytes(std::string_view s, size_t maxCount);
// "00010002" gives 0x00010002; fewer digits are aligned left; a point reverses the bytes.
uint32_t StrToVID(std::string_view s);
// Two upper-case digits per byte, `separator` between bytes.
std::string BytesToHex(const uint8_t* bytes, size_t count, std::string_view separator = "");

// CR LF -> "\"; and back: "\..\" -> CR LF, then every other "\" -> CR LF.
std::string LineBreaksToBackslash(std::string_view s);
std::string BackslashToLineBreaks(std::string_view s);

// A growable array of fixed-size records in one block (capacity 256, doubled when full).
// Every operation is atomic.
class TRecordArray {
  public:
    TRecordArray(size_t recordSize, std::string name);
    void Clear();
    size_t Count() const;
    size_t Capacity() const;
    size_t RecordSize() const { return recordSize_; }
    const std::string& Name() const { return name_; }
    // Appends a copy of `record` (RecordSize() bytes).
    void Add(const void* record);
    // Copies record `index` into `out`; false when the index is outside 0..Count()-1.
    bool Get(size_t index, void* out) const;

  private:
    mutable std::mutex mutex_;
    size_t recordSize_;
    std::string name_;
    size_t count_ = 0;
    std::vector<uint8_t> block_;
};

// A TRecordArray of transaction records (ZbTransaction). Records kept in an array have their
// settings pointer `var` cleared: it is valid during a plug-in call only.
class TTransactionObjectArray : public TRecordArray {
  public:
    TTransactionObjectArray() : TRecordArray(sizeof(ZbTransaction), "Transactions") {}
    using TRecordArray::Get;
    bool Get(size_t index, ZbTransaction& out) const { return TRecordArray::Get(index, &out); }
};

// The program's list of transactions (operations built outside EncodeVarValue land here).
TTransactionObjectArray& Transactions();

// The access mode for an operation on `var` at `currentLevel`, or -1 when refused (logged
// "<Title> - уровень доступа недостаточен, операция невозможна." when the level is too low).
int CheckAccess(const TVar& var, std::string_view operationText, int currentLevel);

// "<title> = <value>": splits the value into lines (after BackslashToLineBreaks), each trimmed
// and cut to 255 characters, and runs ExecuteVarOperation. False without "=".
bool ApplyVarAssignment(std::string_view text, uint32_t completion, int currentLevel,
                        TTransactionObjectArray& into = Transactions());
// Arguments[0] is the variable's title, the last is the operation ("?" reads; anything else is
// the last line of a value to write). On success one record has been added to `into`.
bool ExecuteVarOperation(std::vector<std::string> arguments, uint32_t completion, int currentLevel,
                         TTransactionObjectArray& into = Transactions());

// The request bytes for `valueText` ("...?" reads, anything else writes) as hexadecimal text;
// empty when no request can be built (unknown variable, no access, value refused).
std::string EncodeVarValue(std::string_view title, std::string_view valueText);
// The value text of an answer given in hexadecimal. A text containing "!" (an error from the
// concentrator) and the answer of an unknown variable come back unchanged, as does an answer
// longer than 1020 bytes (logged) or one the plug-in cannot decode.
std::string DecodeVarAnswer(std::string_view title, std::string_view hexText);

// The largest answer a transaction record can carry: 255 words.
inline constexpr size_t kMaxAnswerBytes = 4 * ZB_MAX_WORDS;

}  // namespace zb::devices
