#include "app/widgets.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <QVBoxLayout>

#include "base/text.h"

namespace zb::app {

QString DisplayText(const std::string& text) {
    return Q(base::ReplaceAll(text, "\r\n", "\n"));
}

int64_t UidOf(const QTreeWidgetItem* item) {
    return item == nullptr ? 0 : item->data(0, kUidRole).toLongLong();
}

LinkLabel::LinkLabel(const QString& text, const QString& name, QWidget* parent)
    : QLabel(text, parent) {
    setObjectName(name);
    setCursor(Qt::PointingHandCursor);
    Restyle();
}

void LinkLabel::Restyle() {
    QFont f = font();
    f.setPointSize(14);
    f.setUnderline(isEnabled());
    setFont(f);
    setStyleSheet(isEnabled() ? "color: #1f3a68;" : "color: #9a9a9a;");
    setCursor(isEnabled() ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void LinkLabel::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
    }
}

void LinkLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) {
        Restyle();
    }
}

PromptPanel::PromptPanel(const std::string& prompt, const QString& name, QWidget* parent)
    : QFrame(parent) {
    setObjectName(name);
    setFrameShape(QFrame::StyledPanel);
    auto* layout = new QVBoxLayout(this);
    label_ = new QLabel(DisplayText(prompt), this);
    label_->setAlignment(Qt::AlignCenter);
    label_->setWordWrap(true);
    QFont f = label_->font();
    f.setPointSize(20);
    label_->setFont(f);
    label_->setStyleSheet("color: #7b8794;");
    layout->addWidget(label_);
}

QString PromptPanel::text() const {
    return label_->text();
}

HeaderPanel::HeaderPanel(const QString& name, QWidget* parent) : QFrame(parent) {
    setObjectName(name);
    setFrameShape(QFrame::StyledPanel);
    setStyleSheet("#" + name + " { background: #e9eef5; }");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    picture_ = new QLabel(this);
    picture_->setFixedSize(32, 32);
    picture_->hide();
    caption_ = new QLabel(this);
    QFont f = caption_->font();
    f.setPointSize(12);
    f.setBold(true);
    caption_->setFont(f);
    layout->addWidget(picture_);
    layout->addWidget(caption_, 1);
}

void HeaderPanel::setPicture(const QPixmap& pixmap) {
    picture_->setPixmap(pixmap);
    picture_->setVisible(!pixmap.isNull());
}

void MakeUpperCase(QLineEdit* edit) {
    QObject::connect(edit, &QLineEdit::textEdited, edit, [edit](const QString& text) {
        const QString upper = Q(base::Utf8ToUpper(S(text)));
        if (upper != text) {
            const int cursor = edit->cursorPosition();
            edit->setText(upper);
            edit->setCursorPosition(cursor);
        }
    });
}

RegisterFrame::RegisterFrame(const QString& prefix, const std::string& promptText,
                             const std::string& addHint, const std::string& deleteHint,
                             QWidget* parent)
    : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(8);

    // Left column: tool bar, tree, and room for a second list.
    auto* left = new QWidget(this);
    left->setObjectName("Panel" + prefix + "Tree");
    left->setMinimumWidth(240);
    left->setMaximumWidth(360);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->setSpacing(4);
    toolBar_ = new QHBoxLayout();
    auto* toolBar = toolBar_;
    toolBar->setSpacing(2);
    addButton = new QToolButton(left);
    addButton->setObjectName("ToolButton" + prefix + "Add");
    addButton->setToolTip(DisplayText(addHint));
    // Icon-only buttons are named by their hints (for screen readers and accessibility tools).
    addButton->setAccessibleName(DisplayText(addHint));
    addButton->setText("+");
    addButton->setIcon(style()->standardIcon(QStyle::SP_FileDialogNewFolder));
    addButton->setAutoRaise(true);
    deleteButton = new QToolButton(left);
    deleteButton->setObjectName("ToolButton" + prefix + "Delete");
    deleteButton->setToolTip(DisplayText(deleteHint));
    deleteButton->setAccessibleName(DisplayText(deleteHint));
    deleteButton->setText("-");
    deleteButton->setIcon(style()->standardIcon(QStyle::SP_TrashIcon));
    deleteButton->setAutoRaise(true);
    toolBar->addWidget(addButton);
    toolBar->addWidget(deleteButton);
    toolBar->addStretch(1);
    leftLayout->addLayout(toolBar);
    tree = new QTreeWidget(left);
    tree->setObjectName("TreeView" + prefix);
    tree->setHeaderHidden(true);
    tree->setColumnCount(1);
    tree->setUniformRowHeights(true);
    leftLayout->addWidget(tree, 1);
    leftExtra = new QWidget(left);
    leftExtra->hide();
    leftLayout->addWidget(leftExtra, 1);
    layout->addWidget(left, 2);

    // Right side: the prompt or the attributes.
    right = new QStackedWidget(this);
    prompt = new PromptPanel(promptText, "Panel" + prefix + "Prompt", right);
    attributes = new QWidget(right);
    attributes->setObjectName("Panel" + prefix + "Attr");
    auto* attrLayout = new QVBoxLayout(attributes);
    attrLayout->setContentsMargins(0, 0, 0, 0);
    header = new HeaderPanel("Panel" + prefix + "Header", attributes);
    attrLayout->addWidget(header);
    form = new QWidget(attributes);
    attrLayout->addWidget(form, 1);
    buttons_ = new QHBoxLayout();
    auto* buttons = buttons_;
    buttons->addStretch(1);
    saveButton = new QPushButton(attributes);
    saveButton->setObjectName("Button" + prefix + "Save");
    saveButton->setMinimumWidth(100);
    cancelButton = new QPushButton("Cancel", attributes);
    cancelButton->setObjectName("Button" + prefix + "Cancel");
    cancelButton->setMinimumWidth(100);
    buttons->addWidget(saveButton);
    buttons->addWidget(cancelButton);
    attrLayout->addLayout(buttons);
    right->addWidget(prompt);
    right->addWidget(attributes);
    layout->addWidget(right, 5);

    connect(tree, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { emit nodeChosen(item); });
    // Moving through the tree with the keyboard selects as a click does.
    connect(tree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item != nullptr && tree->hasFocus() &&
            QGuiApplication::mouseButtons() == Qt::NoButton) {
            emit nodeChosen(item);
        }
    });
}

QTreeWidgetItem* RegisterFrame::ResetTree(const std::string& rootText, const QIcon& icon) {
    QSignalBlocker block(tree);
    tree->clear();
    auto* root = new QTreeWidgetItem(tree, QStringList{Q(rootText)});
    root->setData(0, kUidRole, qlonglong{0});
    root->setIcon(0, icon);
    return root;
}

QTreeWidgetItem* RegisterFrame::AddChild(QTreeWidgetItem* parent, const std::string& text,
                                         int64_t uid, const QIcon& icon) {
    auto* item = new QTreeWidgetItem(parent, QStringList{Q(text)});
    item->setData(0, kUidRole, qlonglong{uid});
    item->setIcon(0, icon);
    return item;
}

QToolButton* RegisterFrame::AddToolButton(const QString& name, const std::string& hint,
                                          const QString& text, const QIcon& icon) {
    auto* button = new QToolButton(addButton->parentWidget());
    button->setObjectName(name);
    button->setToolTip(DisplayText(hint));
    button->setAccessibleName(DisplayText(hint));
    button->setText(text);
    button->setIcon(icon);
    button->setAutoRaise(true);
    toolBar_->insertWidget(toolBar_->indexOf(deleteButton) + 1, button);
    return button;
}

QPushButton* RegisterFrame::AddButton(const QString& name, const QString& caption) {
    auto* button = new QPushButton(caption, attributes);
    button->setObjectName(name);
    button->setMinimumWidth(100);
    buttons_->insertWidget(buttons_->indexOf(saveButton), button);
    return button;
}

void RegisterFrame::ReturnToRoot() {
    SelectQuietly(Root());
    addButton->setEnabled(true);
    deleteButton->setEnabled(false);
    ShowPrompt();
}

void RegisterFrame::SelectQuietly(QTreeWidgetItem* item) {
    QSignalBlocker block(tree);
    tree->clearSelection();
    tree->setCurrentItem(item);
    if (item != nullptr) {
        item->setSelected(true);
    }
}

}  // namespace zb::app
