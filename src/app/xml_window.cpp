#include "app/xml_window.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace zb::app {

TFormMemoXML::TFormMemoXML(QWidget* parent) : QDialog(parent) {
    setObjectName("FormMemoXML");
    setModal(true);
    resize(720, 480);
    auto* layout = new QVBoxLayout(this);
    memo_ = new QPlainTextEdit(this);
    memo_->setObjectName("MemoXML");
    memo_->setAccessibleName("XML");
    memo_->setReadOnly(true);
    memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(memo_, 1);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    close_ = new QPushButton("Закрыть", this);
    close_->setObjectName("ButtonMemoXMLClose");
    close_->setDefault(true);
    buttons->addWidget(close_);
    layout->addLayout(buttons);
    connect(close_, &QPushButton::clicked, this, &QDialog::accept);
}

void TFormMemoXML::SetXml(const QString& title, const QString& xml) {
    setWindowTitle(title);
    // The system's texts end lines with CR LF; the window shows plain lines.
    QString text = xml;
    text.replace("\r\n", "\n");
    memo_->setPlainText(text);
}

void ShowXmlWindow(QWidget* parent, const QString& title, const QString& xml) {
    TFormMemoXML window(parent);
    window.SetXml(title, xml);
    window.exec();
}

}  // namespace zb::app
