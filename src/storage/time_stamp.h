#pragma once
// LocalTimeStamp: whole seconds since 2000-01-01 00:00:00 local time, as stored in Work and
// BigData. The date-time minus the epoch, times 86400, rounded with halves to the even neighbour.
#include <cstdint>

#include "base/clock.h"

namespace zb::storage {

int64_t LocalTimeStampOf(const base::LocalDateTime& local);
// The stamp of a date-time in day-count form (days since 1899-12-30, local).
int64_t LocalTimeStampOfDateTime(double dateTime);
// The local date-time of a stamp.
base::LocalDateTime LocalDateTimeOfStamp(int64_t stamp);

}  // namespace zb::storage
