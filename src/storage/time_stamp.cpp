#include "storage/time_stamp.h"

#include <cmath>

namespace zb::storage {
namespace {
// 2000-01-01 00:00:00 in day-count form.
const double kEpoch = base::ToDateTime(base::LocalDateTime{2000, 1, 1, 0, 0, 0, 0});
}  // namespace

int64_t LocalTimeStampOfDateTime(double dateTime) {
    return base::RoundHalfEven((dateTime - kEpoch) * 86400.0);
}

int64_t LocalTimeStampOf(const base::LocalDateTime& local) {
    // Whole days and the time of day are taken apart, so the half-second of a stamp is exact
    // rather than at the mercy of a day fraction in binary floating point.
    const double days = std::floor(base::ToDateTime(local)) - kEpoch;
    const double ms =
        local.hour * 3600000.0 + local.minute * 60000.0 + local.second * 1000.0 + local.millisecond;
    return static_cast<int64_t>(days) * 86400 + base::RoundHalfEven(ms / 1000.0);
}

base::LocalDateTime LocalDateTimeOfStamp(int64_t stamp) {
    return base::FromDateTime(kEpoch + static_cast<double>(stamp) / 86400.0);
}

}  // namespace zb::storage
