#pragma once
// Operator messages as message boxes: a warning with one OK button, an error box, and a yes/no
// question. A call from another thread waits until the box was answered on the window thread.
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
