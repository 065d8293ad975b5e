#include "base/clock.h"

#include <cmath>
#include <cstdio>
#include <mutex>

namespace zb::base {
namespace {

std::mutex g_sourceMutex;
std::function<TimePoint()> g_source;

// Days from 1899-12-30 to 1970-01-01 (the civil epoch of the day-count form).
constexpr int64_t kDaysFrom1899To1970 = 25569;

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
int64_t DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

}  // namespace

TimePoint Clock::Now() {
    std::lock_guard lock(g_sourceMutex);
    return g_source ? g_source() : std::chrono::system_clock::now();
}

void Clock::SetSource(std::function<TimePoint()> source) {
    std::lock_guard lock(g_sourceMutex);
    g_source = std::move(source);
}

LocalDateTime ToLocal(TimePoint t) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch());
    int64_t seconds = ms.count() / 1000;
    int64_t millis = ms.count() % 1000;
    if (millis < 0) {
        millis += 1000;
        --seconds;
    }
    std::time_t tt = static_cast<std::time_t>(seconds);
    std::tm tm{};
    localtime_r(&tt, &tm);
    return LocalDateTime{
        tm.tm_year + 1900, tm.tm_mon + 1,           tm.tm_mday, tm.tm_hour, tm.tm_min,
        tm.tm_sec,         static_cast<int>(millis)};
}

TimePoint FromLocal(const LocalDateTime& local) {
    std::tm tm{};
    tm.tm_year = local.year - 1900;
    tm.tm_mon = local.month - 1;
    tm.tm_mday = local.day;
    tm.tm_hour = local.hour;
    tm.tm_min = local.minute;
    tm.tm_sec = local.second;
    tm.tm_isdst = -1;
    const std::time_t tt = mktime(&tm);
    return std::chrono::system_clock::from_time_t(tt) +
           std::chrono::milliseconds(local.millisecond);
}

LocalDateTime LocalNow() {
    return ToLocal(Clock::Now());
}

double ToDateTime(const LocalDateTime& t) {
    const int64_t days = DaysFromCivil(t.year, t.month, t.day) + kDaysFrom1899To1970;
    const double fraction =
        (t.hour * 3600000.0 + t.minute * 60000.0 + t.second * 1000.0 + t.millisecond) / 86400000.0;
    return static_cast<double>(days) + fraction;
}

LocalDateTime FromDateTime(double value) {
    const double dayPart = std::floor(value);
    int64_t ms = static_cast<int64_t>(std::llround((value - dayPart) * 86400000.0));
    int64_t days = static_cast<int64_t>(dayPart) - kDaysFrom1899To1970;
    if (ms >= 86400000) {
        ms -= 86400000;
        ++days;
    }
    LocalDateTime t;
    CivilFromDays(days, t.year, t.month, t.day);
    t.hour = static_cast<int>(ms / 3600000);
    t.minute = static_cast<int>(ms / 60000 % 60);
    t.second = static_cast<int>(ms / 1000 % 60);
    t.millisecond = static_cast<int>(ms % 1000);
    return t;
}

int64_t RoundHalfEven(double value) {
    return static_cast<int64_t>(std::nearbyint(value));
}

std::string FormatShortDate(const LocalDateTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", t.day, t.month, t.year);
    return buf;
}

std::string FormatLongTime(const LocalDateTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d:%02d:%02d", t.hour, t.minute, t.second);
    return buf;
}

std::string FormatDateTime(const LocalDateTime& t) {
    return FormatShortDate(t) + " " + FormatLongTime(t);
}

}  // namespace zb::base
