#pragma once
// Warnings, errors and questions for the operator. Core code never opens a message box: it calls
// this interface. The window shows a box; headless, the text goes to the log; tests install a
// recorder that reads what would have been shown and answers questions.
#include <memory>
#include <string>

namespace zb::base {

class OperatorMessages {
  public:
    virtual ~OperatorMessages() = default;
    // A warning box with one OK button.
    virtual void Warning(const std::string& text) = 0;
    // An error box (a database failure, a failed action).
    virtual void Error(const std::string& text) = 0;
    // A yes/no question; true for yes.
    virtual bool Confirm(const std::string& text) = 0;
};

// The installed receiver; never null (by default messages go to the log, questions answer no).
OperatorMessages& Messages();
// Installs a receiver; null restores the default. Returns the previous one (null for default).
std::shared_ptr<OperatorMessages> SetMessages(std::shared_ptr<OperatorMessages> messages);

}  // namespace zb::base
