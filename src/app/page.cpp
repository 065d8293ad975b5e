#include "app/page.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QVBoxLayout>

#include "app/shell_texts.h"

namespace zb::app {

Page::Page(const std::string& caption, const QString& name, QWidget* parent)
    : QWidget(parent), caption_(Q(caption)) {
    setObjectName(name);
}

void Page::RunLoader() {
    ++loads_;
    Guarded([this] { Load(); });
}

LinksPage::LinksPage(const std::string& caption, const QString& name, QWidget* parent,
                     const std::string& title)
    : Page(caption, name, parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(48, 28, 48, 32);
    layout->setSpacing(18);
    auto* heading = new QLabel(Q(title.empty() ? caption : title), this);
    heading->setObjectName(name + "Title");
    QFont f = heading->font();
    f.setPointSize(18);
    f.setBold(true);
    heading->setFont(f);
    heading->setStyleSheet(
        "color: #2b3a4f; padding-bottom: 6px; border-bottom: 2px solid #c9d1dc;");
    // A click on the heading is a click on the page's background.
    heading->setAttribute(Qt::WA_TransparentForMouseEvents);
    layout->addWidget(heading);
    links_ = new QWidget(this);
    auto* linksLayout = new QVBoxLayout(links_);
    linksLayout->setContentsMargins(0, 0, 0, 0);
    linksLayout->setSpacing(14);
    layout->addWidget(links_, 0, Qt::AlignLeft | Qt::AlignTop);
    layout->addStretch(1);
}

LinkLabel* LinksPage::AddLink(const std::string& text, const QString& name) {
    auto* link = new LinkLabel(Q(text), name, links_);
    links_->layout()->addWidget(link);
    return link;
}

void MainLinksPage::mousePressEvent(QMouseEvent* event) {
    // The modifiers are sampled from the keyboard state at the click.
    if (event->button() == Qt::LeftButton &&
        ((event->modifiers() | QGuiApplication::queryKeyboardModifiers()) & Qt::AltModifier)) {
        emit altClicked();
    }
    LinksPage::mousePressEvent(event);
}

PromptPage::PromptPage(const std::string& caption, const QString& name, const std::string& prompt,
                       bool refreshOnF5, QWidget* parent)
    : Page(caption, name, parent), refreshOnF5_(refreshOnF5) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(new PromptPanel(prompt, name + "Prompt", this));
}

LogPage::LogPage(QWidget* parent) : Page(texts::kLog, "PageLog", parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    memo_ = new QPlainTextEdit(this);
    memo_->setObjectName("MemoLog");
    memo_->setAccessibleName(Caption());
    memo_->setReadOnly(true);
    memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo_->setMaximumBlockCount(texts::kLogLines);
    memo_->setFont(QFont("DejaVu Sans Mono", 9));
    layout->addWidget(memo_);
}

void LogPage::Append(const QString& line) {
    memo_->appendPlainText(line);
}

}  // namespace zb::app
