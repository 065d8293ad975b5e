#include "inbound/results_store.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "base/clock.h"
#include "base/text.h"
#include "devices/catalogue.h"
#include "devices/value_formats.h"
#include "storage/stored_text.h"
#include "storage/time_stamp.h"

namespace zb::inbound {

namespace {

constexpr uint32_t kFunctionTypeCode = 0x68;
constexpr std::string_view kMeterClockTitle = "0000.LocalTime";
constexpr size_t kArchiveHeaderDigits = 24;
constexpr size_t kArchiveRecordDigits = 24;

// One answer, one row. The archive columns belong to the same row; writing them with the row
// rather than by a second statement on its row id gives the same row with one statement fewer.
constexpr const char* kInsertAnswer =
    "INSERT into BigData (WorkUID,TaskUID,DataVendorUID,DataVendorEntity,MeterADDR,VarName,"
    "OpCode,Result,LocalTime,MasterClock,Value,LocalTimeStamp) "
    "values(?,?,?,'MP',?,?,?,?,?,?,?,?)";
constexpr const char* kInsertArchiveAnswer =
    "INSERT into BigData (WorkUID,TaskUID,DataVendorUID,DataVendorEntity,MeterADDR,VarName,"
    "OpCode,Result,LocalTime,MasterClock,Value,LocalTimeStamp,ArcType,ArcInterval,ArcOptions,"
    "FromPoint,ToPoint) values(?,?,?,'MP',?,?,?,?,?,?,?,?,?,?,?,?,?)";

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

[[noreturn]] void RaiseBadTime(std::string_view time) {
    throw EConvertError("'" + std::string(time) + "' is not a valid date and time");
}

// Eight hexadecimal digits of an archive record as a little-endian signed 32-bit number.
std::string RecordTime(std::string_view digits) {
    uint8_t bytes[4] = {0, 0, 0, 0};
    devices::HexToBytes(digits, bytes, sizeof bytes);
    const uint32_t raw = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                         static_cast<uint32_t>(bytes[2]) << 16 |
                         static_cast<uint32_t>(bytes[3]) << 24;
    return FormatTenDigits(static_cast<int32_t>(raw));
}

storage::TSQLiteStatement& Prepared(InboundContext& context,
                                    std::unique_ptr<storage::TSQLiteStatement>& statement,
                                    const char* sql) {
    if (!statement) {
        statement = std::make_unique<storage::TSQLiteStatement>(context.db, sql);
    }
    return *statement;
}

int64_t MeasuringPointUid(InboundContext& context, std::string_view meter, int64_t ctrUid) {
    if (context.pointUidsCtr != ctrUid) {
        context.pointUids.clear();
        context.pointOrder.clear();
        context.nextPoint = 0;
        context.pointUidsCtr = ctrUid;
    }
    if (context.nextPoint < context.pointOrder.size()) {
        const auto& [address, point] = *context.pointOrder[context.nextPoint];
        if (address == meter) {
            ++context.nextPoint;
            return point.uid;
        }
    }
    const auto found = context.pointUids.find(meter);
    if (found != context.pointUids.end()) {
        context.nextPoint = found->second.order + 1;
        return found->second.uid;
    }
    // The point of that address on that concentrator. The look-up goes by the address alone
    // and picks the concentrator's row here: asked for both, SQLite would walk the index of
    // CtrUID, that is every point of the concentrator, for each meter.
    storage::TSQLiteStatement& points =
        Prepared(context, context.pointsOfAddress,
                 "SELECT UID,CtrUID from MeasuringPoint WHERE MeterADDR=? ORDER BY UID");
    points.BindStoredText(1, meter);
    int64_t uid = 0;
    while (points.Step()) {
        if (points.ColumnInt64(1) == ctrUid) {
            uid = points.ColumnInt64(0);
            points.Reset();
            break;
        }
    }
    const auto added =
        context.pointUids
            .emplace(std::string(meter), InboundContext::KnownPoint{uid, context.pointOrder.size()})
            .first;
    context.pointOrder.push_back(&*added);
    context.nextPoint = context.pointOrder.size();
    return uid;
}

// The value text of a "DONE" answer of a ZARNIC request, by operation code. Archive reads also
// fill the record lists of the current request and the from- and to-points.
std::string DecodeValue(CurrentRequest& request, const devices::TVar* var, std::string_view value,
                        int64_t reference, std::string& fromPoint, std::string& toPoint) {
    const std::string& op = request.opCode;
    if (op == "R") {
        if (var == nullptr) {
            // A variable the catalogue does not know: nothing to decode it with.
            return std::string(value);
        }
        if (static_cast<uint32_t>(var->TypeCode()) == kFunctionTypeCode) {
            return FunctionAnswerText(value);
        }
        if (var->Title() == kMeterClockTitle) {
            return MeterClockText(value, reference);
        }
        return devices::DecodeVarAnswer(request.varName, value);
    }
    if (op == "W") {
        return request.writtenText;
    }
    if (op == "AR") {
        ArchiveAnswer archive = DecodeArchiveAnswer(request.varName, value);
        fromPoint = std::move(archive.fromPoint);
        toPoint = std::move(archive.toPoint);
        if (!archive.decoded) {
            return std::string(value);
        }
        request.localTimes.push_back(std::move(archive.localTime));
        request.masterClocks.push_back(std::move(archive.masterClock));
        return std::move(archive.value);
    }
    return std::string(value);
}

// The text of a record list: its one entry, or nothing.
std::string_view ListText(const std::vector<std::string>& lines) {
    return lines.empty() ? std::string_view() : std::string_view(lines.front());
}

void StoreAnswer(InboundContext& context, const xml::TXMLItem& ans, int64_t ctrUid, bool zarnic,
                 const devices::TVar* var) {
    CurrentRequest& request = context.request;
    request.localTimes.clear();
    request.masterClocks.clear();
    const std::string_view meter = AttributeView(&ans, "Meter");
    if (meter.empty()) {
        return;
    }
    const int64_t pointUid = MeasuringPointUid(context, meter, ctrUid);
    const std::string_view result = AttributeView(&ans, "Result");
    const int64_t reference = AnswerTimeStamp(AttributeView(&ans, "Time", "0"));
    const std::string_view received = AttributeView(&ans, "Value");

    const bool archive = zarnic && request.opCode == "AR";
    std::string fromPoint;
    std::string toPoint;
    std::string decoded;
    std::string_view value = received;
    if (zarnic && result == "DONE") {
        decoded = DecodeValue(request, var, received, reference, fromPoint, toPoint);
        value = decoded;
    }

    // The values of the request are bound once per task (BindRequest); these are the answer's.
    storage::TSQLiteStatement& insert =
        archive ? *context.insertArchiveAnswer : *context.insertAnswer;
    insert.BindInt(3, pointUid);
    insert.BindStoredText(4, meter);
    insert.BindStoredText(7, result);
    insert.BindStoredText(8, ListText(request.localTimes));
    insert.BindStoredText(9, ListText(request.masterClocks));
    insert.BindStoredText(10, value);
    insert.BindInt(11, reference);
    if (archive) {
        insert.BindStoredText(15, fromPoint);
        insert.BindStoredText(16, toPoint);
    }
    insert.Execute();
}

}  // namespace

int64_t AnswerTimeStamp(std::string_view time) {
    // One pass over the text (it is read for every answer): six pieces between dashes, each of
    // one to nine decimal digits.
    int parts[6];
    size_t count = 0;
    size_t digits = 0;
    int number = 0;
    for (size_t i = 0; i <= time.size(); ++i) {
        if (i == time.size() || time[i] == '-') {
            if (count == 6 || digits == 0) {
                RaiseBadTime(time);
            }
            parts[count++] = number;
            number = 0;
            digits = 0;
            continue;
        }
        const char c = time[i];
        if (c < '0' || c > '9' || ++digits > 9) {
            RaiseBadTime(time);
        }
        number = number * 10 + (c - '0');
    }
    if (count != 6) {
        RaiseBadTime(time);
    }
    const base::LocalDateTime local{parts[0], parts[1], parts[2], parts[3], parts[4], parts[5], 0};
    if (local.year < 1 || local.year > 9999 || local.month < 1 || local.month > 12 ||
        local.day < 1 || local.day > DaysInMonth(local.year, local.month) || local.hour > 23 ||
        local.minute > 59 || local.second > 59) {
        RaiseBadTime(time);
    }
    return storage::LocalTimeStampOf(local);
}

std::string FunctionAnswerText(std::string_view value) {
    std::vector<std::string> lines;
    const size_t groups = value.size() / 8;
    for (size_t group = 2; group < groups; ++group) {
        char buf[24];
        std::snprintf(buf, sizeof buf, "%08" PRIX64, devices::StrToHex(value.substr(group * 8, 8)));
        lines.emplace_back(buf);
    }
    return JoinLines(lines, false);
}

std::string MeterClockText(std::string_view value, int64_t referenceStamp) {
    const int64_t t = static_cast<int64_t>(devices::StrToHex(value));
    // Whole days and seconds of the day since 2000-01-01, kept in integers.
    constexpr int64_t kSecondsPerDay = 86400;
    constexpr int64_t kMaxDays = 4000000;  // beyond the years 1..9999 either way
    int64_t days = t / kSecondsPerDay;
    int64_t seconds = t % kSecondsPerDay;
    if (seconds < 0) {
        seconds += kSecondsPerDay;
        --days;
    }
    if (days > kMaxDays || days < -kMaxDays) {
        return std::string(value);
    }
    static const double kEpoch = base::ToDateTime(base::LocalDateTime{2000, 1, 1, 0, 0, 0, 0});
    base::LocalDateTime clock = base::FromDateTime(kEpoch + static_cast<double>(days));
    if (clock.year < 1 || clock.year > 9999) {
        return std::string(value);
    }
    clock.hour = static_cast<int>(seconds / 3600);
    clock.minute = static_cast<int>(seconds / 60 % 60);
    clock.second = static_cast<int>(seconds % 60);
    clock.millisecond = 0;

    // Both lie within a few hundred billion seconds, so the difference cannot overflow.
    const int64_t difference = t - referenceStamp;
    std::string text = base::FormatDateTime(clock) + " [";
    if (difference > 0) {
        text += "+";
    } else if (difference < 0) {
        text += "-";
    }
    text += std::to_string(difference < 0 ? -difference : difference);
    text += " сек]";
    return text;
}

ArchiveAnswer DecodeArchiveAnswer(std::string_view varName, std::string_view value) {
    ArchiveAnswer archive;
    if (value.size() < kArchiveHeaderDigits + kArchiveRecordDigits) {
        return archive;
    }
    // The record lines are joined with CR LF as they are read; only the ends of the joined texts
    // are trimmed.
    for (size_t pos = kArchiveHeaderDigits; pos + kArchiveRecordDigits <= value.size();
         pos += kArchiveRecordDigits) {
        const std::string_view record = value.substr(pos, kArchiveRecordDigits);
        const bool first = pos == kArchiveHeaderDigits;
        if (!first) {
            archive.localTime += "\r\n";
            archive.masterClock += "\r\n";
            archive.value += "\r\n";
        }
        std::string time = RecordTime(record.substr(0, 8));
        archive.localTime += time;
        archive.masterClock += RecordTime(record.substr(8, 8));
        archive.value += devices::DecodeVarAnswer(varName, record.substr(16, 8));
        if (first) {
            archive.fromPoint = time;
        }
        archive.toPoint = std::move(time);
    }
    archive.decoded = true;
    archive.localTime = base::Trim(archive.localTime);
    archive.masterClock = base::Trim(archive.masterClock);
    archive.value = base::Trim(archive.value);
    return archive;
}

namespace {

// Binds the values that all answers of the current request share, in the statement its answers
// use.
void BindRequest(InboundContext& context, bool archive) {
    storage::TSQLiteStatement& insert =
        archive ? *context.insertArchiveAnswer : *context.insertAnswer;
    const CurrentRequest& request = context.request;
    insert.BindStoredText(1, request.workUid);
    insert.BindStoredText(2, request.taskUid);
    insert.BindStoredText(5, request.varName);
    insert.BindStoredText(6, request.opCode);
    if (archive) {
        insert.BindStoredText(12, request.arcType);
        insert.BindStoredText(13, request.arcInterval);
        insert.BindStoredText(14, request.arcOptions);
    }
}

void StoreAnswers(InboundContext& context, const xml::TXMLItem& task, int64_t ctrUid, bool zarnic) {
    const CurrentRequest& request = context.request;
    const bool archive = zarnic && request.opCode == "AR";
    const xml::TXMLItem* ans = xml::FindItem(&task, 0, "ans");
    if (ans == nullptr) {
        return;
    }
    // The catalogue's variable of a read, looked up once for all its answers.
    const devices::TVar* var = zarnic && request.opCode == "R"
                                   ? devices::FindVarByTitle(devices::VarRoot(), request.varName)
                                   : nullptr;
    if (archive) {
        Prepared(context, context.insertArchiveAnswer, kInsertArchiveAnswer);
    } else {
        Prepared(context, context.insertAnswer, kInsertAnswer);
    }
    BindRequest(context, archive);
    for (; ans != nullptr; ans = xml::NextItem(ans)) {
        StoreAnswer(context, *ans, ctrUid, zarnic, var);
    }
}

}  // namespace

namespace {

// The task's request with its variable and operation read into the current request; nullptr
// when the task has no request or the request names no variable.
const xml::TXMLItem* ReadRequest(CurrentRequest& request, const xml::TXMLItem& task) {
    const xml::TXMLItem* req = xml::FindItem(&task, 0, "req");
    if (req == nullptr) {
        return nullptr;
    }
    request.varName = Attribute(req, "Var");
    request.opCode = Attribute(req, "OpCode");
    return request.varName.empty() ? nullptr : req;
}

}  // namespace

void StoreZarnicRequestResults(InboundContext& context, const xml::TXMLItem& task, int64_t ctrUid) {
    CurrentRequest& request = context.request;
    const xml::TXMLItem* req = ReadRequest(request, task);
    if (req == nullptr || request.opCode.empty()) {
        return;
    }
    request.writtenText =
        devices::BackslashToLineBreaks(storage::StoredTextDecode(Attribute(req, "Text")));
    request.value = Attribute(req, "Value");
    request.arcType = Attribute(req, "ArcType");
    request.arcInterval = Attribute(req, "ArcInterval");
    request.arcOptions = Attribute(req, "ArcOptions");
    StoreAnswers(context, task, ctrUid, true);
}

void StorePlainRequestResults(InboundContext& context, const xml::TXMLItem& task, int64_t ctrUid) {
    if (ReadRequest(context.request, task) != nullptr) {
        StoreAnswers(context, task, ctrUid, false);
    }
}

}  // namespace zb::inbound
