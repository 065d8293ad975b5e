#pragma once
// Time for the whole server. Everything that reads "now" goes through Clock::Now(), so tests can
// set the time (the clock key that changes at local noon, time stamps, "data received" lines).
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

namespace zb::base {

using TimePoint = std::chrono::system_clock::time_point;

// Broken-down local date and time with milliseconds.
struct LocalDateTime {
    int year = 2000, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

class Clock {
  public:
    static TimePoint Now();
    // Replaces the time source (tests); an empty function restores the system clock.
    static void SetSource(std::function<TimePoint()> source);
};

// Local broken-down time of a point in time, and back.
LocalDateTime ToLocal(TimePoint t);
TimePoint FromLocal(const LocalDateTime& local);
LocalDateTime LocalNow();

// A date-time as a day count since 1899-12-30 00:00 plus the fraction of the day, in local
// time. This is the form in which day keys and time stamps are computed.
double ToDateTime(const LocalDateTime& local);
LocalDateTime FromDateTime(double value);

// Rounds to the nearest integer, an exact half going to the even neighbour.
int64_t RoundHalfEven(double value);

// The locale's formats. The server's operators work with the Russian locale: "dd.mm.yyyy" for
// the short date and "hh:nn:ss" for the long time.
std::string FormatShortDate(const LocalDateTime& t);
std::string FormatLongTime(const LocalDateTime& t);
std::string FormatDateTime(const LocalDateTime& t);  // short date, a blank, long time

}  // namespace zb::base
