#include "app/xml_window.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace zb::app {

TFormMemoXML::TFormMemoXML(QWidget* parent) : QDialog(parent) {
    setObjectName("FormMemoXML");
    setWindowTitle("XML");
    resize(720, 520);
    auto* layout = new QVBoxLayout(this);
    memo_ = new QPlainTextEdit(this);
    memo_->setObjectName("MemoXML");
    memo_->setAccessibleName("XML");
    memo_->setReadOnly(true);
    memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    memo_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    layout->addWidget(memo_, 1);
    auto* buttons = new QHBoxLayout();
    auto* close = new QPushButton("Закрыть", this);
    close->setObjectName("ButtonMemoXMLClose");
    buttons->addStretch(1);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

void ShowXmlWindow(QWidget* parent, const QString& title, const QString& xml) {
    TFormMemoXML window(parent);
    window.setWindowTitle(title);
    // The system's texts end lines with CR LF; the memo wants LF alone.
    QString text = xml;
    text.replace("\r\n", "\n");
    window.memo()->setPlainText(text);
    if (QScreen* screen = window.screen()) {
        window.move(screen->availableGeometry().center() - window.rect().center());
    }
    window.exec();
}

}  // namespace zb::app
