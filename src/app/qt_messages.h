#pragma once
// Operator messages as message boxes: a warning with one OK button, an error box, and a yes/no
// question. From another thread a warning or an error is queued to the window thread and the
// caller goes on (it may hold a lock the window thread is waiting for); a question waits for its
// answer.
#include <QPointer>
#include <QWidget>

#include "base/operator_messages.h"

namespace zb::app {

class BoxMessages : public base::OperatorMessages {
  public:
    // The boxes are centred over `parent` (may be null).
    explicit BoxMessages(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }

    void Warning(const std::string& text) override;
    void Error(const std::string& text) override;
    bool Confirm(const std::string& text) override;

  private:
    QPointer<QWidget> parent_;
};

}  // namespace zb::app
