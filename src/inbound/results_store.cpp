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

using storage::SqlInt;
using storage::SqlText;

namespace {

constexpr uint32_t kFunctionTypeCode = 0x68;
constexpr std::string_view kMeterClockTitle = "0000.LocalTime";
constexpr size_t kArchiveHeaderDigits = 24;
constexpr size_t kArchiveRecordDigits = 24;

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

int64_t MeasuringPointUid(InboundContext& context, const std::string& meter, int64_t ctrUid) {
    std::string key = std::to_string(ctrUid);
    key += '\n';
    key += meter;
    const auto found = context.pointUids.find(key);
    if (found != context.pointUids.end()) {
        return found->second;
    }
    // The point of that address on that concentrator. The look-up goes by the address alone
    // and picks the concentrator's row here: asked for both, SQLite would walk the index of
    // CtrUID, that is every point of the concentrator, for each meter.
    int64_t uid = 0;
    auto table = context.db.QueryTable("SELECT UID,CtrUID from MeasuringPoint WHERE MeterADDR=" +
                                       SqlText(meter) + " ORDER BY UID");
    for (; !table->AtEnd(); table->Next()) {
        if (table->FieldInt64(1) == ctrUid) {
            uid = table->FieldInt64(0);
            break;
        }
    }
    context.pointUids.emplace(std::move(key), uid);
    return uid;
}

// The value text of a "DONE" answer of a ZARNIC request, by operation code. Archive reads also
// fill the record lists of the current request and the from- and to-points.
std::string DecodeValue(CurrentRequest& request, const std::string& value, int64_t reference,
                        std::string& fromPoint, std::string& toPoint) {
    const std::string& op = request.opCode;
    if (op == "R") {
        const devices::TVar* var = devices::FindVarByTitle(devices::VarRoot(), request.varName);
        if (var == nullptr) {
            // A variable the catalogue does not know: nothing to decode it with.
            return value;
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
        fromPoint = archive.fromPoint;
        toPoint = archive.toPoint;
        if (!archive.decoded) {
            return value;
        }
        request.localTimes = {archive.localTime};
        request.masterClocks = {archive.masterClock};
        return archive.value;
    }
    return value;
}

void StoreAnswer(InboundContext& context, const xml::TXMLItem& ans, int64_t ctrUid, bool zarnic) {
    CurrentRequest& request = context.request;
    request.localTimes.clear();
    request.masterClocks.clear();
    const std::string meter = Attribute(&ans, "Meter");
    if (meter.empty()) {
        return;
    }
    const int64_t pointUid = MeasuringPointUid(context, meter, ctrUid);
    const std::string result = Attribute(&ans, "Result");
    const int64_t reference = AnswerTimeStamp(Attribute(&ans, "Time", "0"));
    std::string value = Attribute(&ans, "Value");

    const bool archive = zarnic && request.opCode == "AR";
    std::string fromPoint;
    std::string toPoint;
    if (zarnic && result == "DONE") {
        value = DecodeValue(request, value, reference, fromPoint, toPoint);
    }

    std::string sql;
    sql.reserve(256 + value.size());
    sql +=
        "INSERT into BigData (WorkUID,TaskUID,DataVendorUID,DataVendorEntity,MeterADDR,VarName,"
        "OpCode,Result,LocalTime,MasterClock,Value,LocalTimeStamp";
    if (archive) {
        sql += ",ArcType,ArcInterval,ArcOptions,FromPoint,ToPoint";
    }
    sql += ") values(";
    sql += SqlText(request.workUid) + ",";
    sql += SqlText(request.taskUid) + ",";
    sql += SqlInt(pointUid) + ",";
    sql += "'MP',";
    sql += SqlText(meter) + ",";
    sql += SqlText(request.varName) + ",";
    sql += SqlText(request.opCode) + ",";
    sql += SqlText(result) + ",";
    sql += SqlText(JoinLines(request.localTimes, false)) + ",";
    sql += SqlText(JoinLines(request.masterClocks, false)) + ",";
    sql += SqlText(value) + ",";
    sql += "'" + FormatTenDigits(reference) + "'";
    if (archive) {
        // The archive columns belong to the same row; writing them with the row rather than by
        // a second statement on its row id gives the same row with one statement fewer.
        sql += "," + SqlText(request.arcType);
        sql += "," + SqlText(request.arcInterval);
        sql += "," + SqlText(request.arcOptions);
        sql += "," + SqlText(fromPoint);
        sql += "," + SqlText(toPoint);
    }
    sql += ")";
    context.db.ExecuteSql(sql);
}

}  // namespace

int64_t AnswerTimeStamp(std::string_view time) {
    int parts[6];
    size_t count = 0;
    size_t pos = 0;
    while (true) {
        const size_t dash = time.find('-', pos);
        const std::string_view piece =
            time.substr(pos, dash == std::string_view::npos ? std::string_view::npos : dash - pos);
        if (count == 6 || piece.empty() || piece.size() > 9) {
            RaiseBadTime(time);
        }
        int number = 0;
        for (char c : piece) {
            if (c < '0' || c > '9') {
                RaiseBadTime(time);
            }
            number = number * 10 + (c - '0');
        }
        parts[count++] = number;
        if (dash == std::string_view::npos) {
            break;
        }
        pos = dash + 1;
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
    std::vector<std::string> times;
    std::vector<std::string> clocks;
    std::vector<std::string> readings;
    for (size_t pos = kArchiveHeaderDigits; pos + kArchiveRecordDigits <= value.size();
         pos += kArchiveRecordDigits) {
        const std::string_view record = value.substr(pos, kArchiveRecordDigits);
        times.push_back(RecordTime(record.substr(0, 8)));
        clocks.push_back(RecordTime(record.substr(8, 8)));
        readings.push_back(devices::DecodeVarAnswer(varName, record.substr(16, 8)));
    }
    archive.decoded = true;
    archive.localTime = base::Trim(JoinLines(times, false));
    archive.masterClock = base::Trim(JoinLines(clocks, false));
    archive.value = base::Trim(JoinLines(readings, false));
    archive.fromPoint = times.front();
    archive.toPoint = times.back();
    return archive;
}

void StoreZarnicRequestResults(InboundContext& context, const xml::TXMLItem& task, int64_t ctrUid) {
    CurrentRequest& request = context.request;
    const xml::TXMLItem* req = xml::FindItem(&task, 0, "req");
    if (req == nullptr) {
        return;
    }
    request.varName = Attribute(req, "Var");
    if (request.varName.empty()) {
        return;
    }
    request.opCode = Attribute(req, "OpCode");
    if (request.opCode.empty()) {
        return;
    }
    request.writtenText =
        devices::BackslashToLineBreaks(storage::StoredTextDecode(Attribute(req, "Text")));
    request.value = Attribute(req, "Value");
    request.arcType = Attribute(req, "ArcType");
    request.arcInterval = Attribute(req, "ArcInterval");
    request.arcOptions = Attribute(req, "ArcOptions");
    for (const xml::TXMLItem* ans = xml::FindItem(&task, 0, "ans"); ans != nullptr;
         ans = xml::NextItem(ans)) {
        StoreAnswer(context, *ans, ctrUid, true);
    }
}

void StorePlainRequestResults(InboundContext& context, const xml::TXMLItem& task, int64_t ctrUid) {
    CurrentRequest& request = context.request;
    const xml::TXMLItem* req = xml::FindItem(&task, 0, "req");
    if (req == nullptr) {
        return;
    }
    request.varName = Attribute(req, "Var");
    if (request.varName.empty()) {
        return;
    }
    request.opCode = Attribute(req, "OpCode");
    for (const xml::TXMLItem* ans = xml::FindItem(&task, 0, "ans"); ans != nullptr;
         ans = xml::NextItem(ans)) {
        StoreAnswer(context, *ans, ctrUid, false);
    }
}

}  // namespace zb::inbound
