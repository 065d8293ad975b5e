#pragma once
// The XML window: a separate modal window that shows an XML text as it is, in a fixed-pitch font
// without word wrap, with one button "Закрыть". The library, dispatch and statistics pages show
// the XML they build or read in it.
#include <QDialog>
#include <QPlainTextEdit>
#include <QPushButton>

namespace zb::app {

class TFormMemoXML : public QDialog {
    Q_OBJECT
  public:
    explicit TFormMemoXML(QWidget* parent = nullptr);
    void SetXml(const QString& title, const QString& xml);
    QPlainTextEdit* memo() const { return memo_; }
    QPushButton* closeButton() const { return close_; }

  private:
    QPlainTextEdit* memo_;
    QPushButton* close_;
};

// Shows the text in the XML window and waits until the window is closed.
void ShowXmlWindow(QWidget* parent, const QString& title, const QString& xml);

}  // namespace zb::app
