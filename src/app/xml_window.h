#pragma once
// The XML window: a modal box showing an XML text as it is (fixed pitch, no wrapping,
// read-only) with a close button.
#include <QDialog>
#include <QPlainTextEdit>
#include <QString>

namespace zb::app {

class TFormMemoXML : public QDialog {
    Q_OBJECT
  public:
    explicit TFormMemoXML(QWidget* parent = nullptr);
    QPlainTextEdit* memo() const { return memo_; }

  private:
    QPlainTextEdit* memo_;
};

// Shows the text in the XML window, modally, centred on the screen.
void ShowXmlWindow(QWidget* parent, const QString& title, const QString& xml);

}  // namespace zb::app
