#include "app/widgets.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <QVBoxLayout>

#include "admin/common.h"
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

QTableWidget* MakeValueList(const QString& name, const char* keyCaption, const char* valueCaption,
                            QWidget* parent) {
    auto* list = new QTableWidget(0, 2, parent);
    list->setObjectName(name);
    list->setHorizontalHeaderLabels({Q(keyCaption), Q(valueCaption)});
    list->horizontalHeader()->setStretchLastSection(true);
    list->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Interactive);
    list->setColumnWidth(0, 180);
    list->verticalHeader()->hide();
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setSelectionMode(QAbstractItemView::NoSelection);
    list->setAlternatingRowColors(true);
    return list;
}

namespace {
template <class Rows, class Key, class Value>
void FillRows(QTableWidget* list, const Rows& rows, Key key, Value value) {
    list->setRowCount(static_cast<int>(rows.size()));
    for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
        list->setItem(row, 0, new QTableWidgetItem(Q(key(rows[row]))));
        list->setItem(row, 1, new QTableWidgetItem(Q(value(rows[row]))));
    }
    list->clearSelection();
}
}  // namespace

void FillValueList(QTableWidget* list,
                   const std::vector<std::pair<std::string, std::string>>& rows) {
    FillRows(
        list, rows, [](const auto& r) { return r.first; }, [](const auto& r) { return r.second; });
}

void FillValueList(QTableWidget* list, const base::KeyValueRows& rows) {
    FillRows(
        list, rows, [](const auto& r) { return r.key; }, [](const auto& r) { return r.value; });
}

ModifierButton::ModifierButton(const QString& text, const QString& name, QWidget* parent)
    : QPushButton(text, parent) {
    setObjectName(name);
}

// The modifiers are those of the click itself, or of the keyboard when the event carries none.
void ModifierButton::mousePressEvent(QMouseEvent* event) {
    modifiers_ = event->modifiers() | QGuiApplication::queryKeyboardModifiers();
    QPushButton::mousePressEvent(event);
}

void ModifierButton::mouseReleaseEvent(QMouseEvent* event) {
    modifiers_ |= event->modifiers();
    QPushButton::mouseReleaseEvent(event);
}

void ModifierButton::keyPressEvent(QKeyEvent* event) {
    modifiers_ = event->modifiers();
    QPushButton::keyPressEvent(event);
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

void NameField(QWidget* field, const QString& caption) {
    field->setAccessibleName(caption);
}

void AddFieldRow(QFormLayout* rows, const QString& caption, QWidget* field) {
    rows->addRow(caption, field);
    NameField(field, caption);
}

void OnNodeChosen(QTreeWidget* tree, QObject* receiver,
                  const std::function<void(QTreeWidgetItem*)>& chosen) {
    QObject::connect(tree, &QTreeWidget::itemClicked, receiver, chosen);
    // Moving through the tree with the keyboard selects as a click does.
    QObject::connect(tree, &QTreeWidget::currentItemChanged, receiver,
                     [tree, chosen](QTreeWidgetItem* item) {
                         if (item != nullptr && tree->hasFocus() &&
                             QGuiApplication::mouseButtons() == Qt::NoButton) {
                             chosen(item);
                         }
                     });
}

namespace {

// An icon-only tool button: its hint names it (for screen readers and accessibility tools).
QToolButton* MakeToolButton(const QString& name, const std::string& hint, const QString& text,
                            const QIcon& icon, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setToolTip(DisplayText(hint));
    button->setAccessibleName(DisplayText(hint));
    button->setText(text);
    button->setIcon(icon);
    button->setAutoRaise(true);
    return button;
}

}  // namespace

AddDeleteBar::AddDeleteBar(const QString& prefix, const std::string& addHint,
                           const std::string& deleteHint, QWidget* parent)
    : QWidget(parent) {
    layout_ = new QHBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(2);
    addButton = MakeToolButton("ToolButton" + prefix + "Add", addHint, "+",
                               style()->standardIcon(QStyle::SP_FileDialogNewFolder), this);
    deleteButton = MakeToolButton("ToolButton" + prefix + "Delete", deleteHint, "-",
                                  style()->standardIcon(QStyle::SP_TrashIcon), this);
    layout_->addWidget(addButton);
    layout_->addWidget(deleteButton);
    layout_->addStretch(1);
}

QToolButton* AddDeleteBar::AddToolButton(const QString& name, const std::string& hint,
                                         const QString& text, const QIcon& icon) {
    auto* button = MakeToolButton(name, hint, text, icon, this);
    layout_->insertWidget(layout_->indexOf(deleteButton) + 1, button);
    return button;
}

QPushButton* AttributesStack::AddButton(const QString& name, const QString& caption) {
    auto* button = new QPushButton(caption, attributes);
    button->setObjectName(name);
    button->setMinimumWidth(100);
    buttons_->insertWidget(buttons_->indexOf(saveButton), button);
    return button;
}

AttributesStack::AttributesStack(const QString& prefix, const std::string& promptText,
                                 QWidget* parent)
    : QStackedWidget(parent) {
    prompt = new PromptPanel(promptText, "Panel" + prefix + "Prompt", this);
    attributes = new QWidget(this);
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
    // Its caption tells the mode; until a row is chosen it reads "Сохранить".
    saveButton = new QPushButton(Q(admin::kModeSave), attributes);
    saveButton->setObjectName("Button" + prefix + "Save");
    saveButton->setMinimumWidth(100);
    cancelButton = new QPushButton("Cancel", attributes);
    cancelButton->setObjectName("Button" + prefix + "Cancel");
    cancelButton->setMinimumWidth(100);
    buttons->addWidget(saveButton);
    buttons->addWidget(cancelButton);
    attrLayout->addLayout(buttons);
    addWidget(prompt);
    addWidget(attributes);
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
    bar_ = new AddDeleteBar(prefix, addHint, deleteHint, left);
    addButton = bar_->addButton;
    deleteButton = bar_->deleteButton;
    leftLayout->addWidget(bar_);
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
    right = new AttributesStack(prefix, promptText, this);
    prompt = right->prompt;
    header = right->header;
    form = right->form;
    saveButton = right->saveButton;
    cancelButton = right->cancelButton;
    buttonRow = right->ButtonRow();
    auto* rightColumn = new QVBoxLayout();
    rightColumn->setSpacing(8);
    aboveRight = new QWidget(this);
    aboveRight->hide();
    rightColumn->addWidget(aboveRight, 1);
    rightColumn->addWidget(right, 1);
    layout->addLayout(rightColumn, 5);

    OnNodeChosen(tree, this, [this](QTreeWidgetItem* item) { emit nodeChosen(item); });
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
