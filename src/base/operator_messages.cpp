#include "base/operator_messages.h"

#include <mutex>

#include "base/log.h"

namespace zb::base {
namespace {

class LoggedMessages final : public OperatorMessages {
  public:
    void Warning(const std::string& text) override { LogLine(text); }
    void Error(const std::string& text) override { LogLine(text); }
    bool Confirm(const std::string& text) override {
        LogLine(text);
        return false;
    }
};

std::mutex g_mutex;
std::shared_ptr<OperatorMessages> g_installed;

}  // namespace

OperatorMessages& Messages() {
    static LoggedMessages fallback;
    std::lock_guard lock(g_mutex);
    return g_installed ? *g_installed : static_cast<OperatorMessages&>(fallback);
}

std::shared_ptr<OperatorMessages> SetMessages(std::shared_ptr<OperatorMessages> messages) {
    std::lock_guard lock(g_mutex);
    std::swap(g_installed, messages);
    return messages;
}

}  // namespace zb::base
