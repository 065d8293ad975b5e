#include "base/events.h"

#include <mutex>

namespace zb::base {
namespace {
std::mutex g_mutex;
std::shared_ptr<CoreEvents> g_installed;
}  // namespace

CoreEvents& Events() {
    static CoreEvents ignored;
    std::lock_guard lock(g_mutex);
    return g_installed ? *g_installed : ignored;
}

std::shared_ptr<CoreEvents> SetEvents(std::shared_ptr<CoreEvents> events) {
    std::lock_guard lock(g_mutex);
    std::swap(g_installed, events);
    return events;
}

}  // namespace zb::base
