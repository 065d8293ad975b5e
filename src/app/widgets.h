#pragma once
// Building blocks shared by the pages: text conversion, the guard that turns a failed action
// into an error box, link labels, the prompt panel, and the register page frame (tree with a
// small tool bar on the left, prompt or attributes on the right).
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <exception>
#include <functional>
#include <string>

#include "base/events.h"
#include "base/operator_messages.h"

namespace zb::app {

inline QString Q(const std::string& text) {
    return QString::fromStdString(text);
}
inline QString Q(const char* text) {
    return QString::fromUtf8(text);
}
inline std::string S(const QString& text) {
    return text.toStdString();
}
// The system's texts break lines with CR LF; a label wants LF alone.
QString DisplayText(const std::string& text);

// Runs a screen action. A failure (a database error, a file that cannot be written) is shown
// in an error box with its message, and the action stops where it was.
template <class Action>
void Guarded(Action&& action) {
    try {
        action();
    } catch (const std::exception& e) {
        base::Messages().Error(e.what());
    }
}

// The data role that carries a row's UID on tree nodes and list items.
inline constexpr int kUidRole = Qt::UserRole;
int64_t UidOf(const QTreeWidgetItem* item);

// A clickable text in the style of a web link. Emits clicked() on a left click.
class LinkLabel : public QLabel {
    Q_OBJECT
  public:
    LinkLabel(const QString& text, const QString& name, QWidget* parent = nullptr);

  signals:
    void clicked();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void Restyle();
};

// The large centred text a page shows while nothing is selected.
class PromptPanel : public QFrame {
    Q_OBJECT
  public:
    PromptPanel(const std::string& prompt, const QString& name, QWidget* parent = nullptr);
    QString text() const;

  private:
    QLabel* label_;
};

// The header line of an attributes panel (caption plus an optional picture).
class HeaderPanel : public QFrame {
    Q_OBJECT
  public:
    HeaderPanel(const QString& name, QWidget* parent = nullptr);
    void setText(const QString& text) { caption_->setText(text); }
    QString text() const { return caption_->text(); }
    void setPicture(const QPixmap& pixmap);
    // The key of the row shown (0 when none).
    int64_t tag = 0;

  private:
    QLabel* picture_;
    QLabel* caption_;
};

// A read-only two-column key=value table (a "value list": Параметр / Значение and the like).
QTableWidget* MakeValueList(const QString& name, const char* keyCaption, const char* valueCaption,
                            QWidget* parent);
// Fills a value list, with no cell selected.
void FillValueList(QTableWidget* list,
                   const std::vector<std::pair<std::string, std::string>>& rows);
void FillValueList(QTableWidget* list, const base::KeyValueRows& rows);

// A push button that remembers the keyboard modifiers held when it was last clicked (by mouse
// or keyboard), for the commands that Alt widens.
class ModifierButton : public QPushButton {
    Q_OBJECT
  public:
    ModifierButton(const QString& text, const QString& name, QWidget* parent = nullptr);
    bool AltHeld() const { return modifiers_.testFlag(Qt::AltModifier); }

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    Qt::KeyboardModifiers modifiers_;
};

// An upper-casing line edit: every typed letter becomes a capital (Cyrillic too).
void MakeUpperCase(QLineEdit* edit);

// Gives a form field its caption as accessible name (what a screen reader says, and how the
// window's tests tell the fields apart).
void NameField(QWidget* field, const QString& caption);
// Adds a caption and its field as a row of a form; the caption names the field.
void AddFieldRow(QFormLayout* rows, const QString& caption, QWidget* field);

// The add and delete tool buttons over a register's list. They show icons only, so their hints
// name them.
class AddDeleteBar : public QWidget {
    Q_OBJECT
  public:
    AddDeleteBar(const QString& prefix, const std::string& addHint, const std::string& deleteHint,
                 QWidget* parent = nullptr);
    QToolButton* addButton;
    QToolButton* deleteButton;
    // A further tool button after delete (an icon-only button: its hint names it).
    QToolButton* AddToolButton(const QString& name, const std::string& hint, const QString& text,
                               const QIcon& icon);

  private:
    QHBoxLayout* layout_;
};

// The right side of a register page: the prompt while nothing is chosen, otherwise the
// attributes panel (header, the page's form, save and cancel).
class AttributesStack : public QStackedWidget {
    Q_OBJECT
  public:
    AttributesStack(const QString& prefix, const std::string& prompt, QWidget* parent = nullptr);
    PromptPanel* prompt;
    QWidget* attributes;
    HeaderPanel* header;
    // Where a page puts its fields.
    QWidget* form;
    QPushButton* saveButton;
    QPushButton* cancelButton;

    void ShowPrompt() { setCurrentWidget(prompt); }
    void ShowAttributes() { setCurrentWidget(attributes); }
    bool PromptShown() const { return currentWidget() == prompt; }
    // A further button before save.
    QPushButton* AddButton(const QString& name, const QString& caption);
    // The row that holds the save and cancel buttons.
    QHBoxLayout* ButtonRow() const { return buttons_; }

  private:
    QHBoxLayout* buttons_;
};

// The frame of a register page: the tree and its two tool buttons on the left, and on the right
// the attributes stack.
class RegisterFrame : public QWidget {
    Q_OBJECT
  public:
    // `prefix` names the controls: "AdminOperator" gives TreeViewAdminOperator,
    // ToolButtonAdminOperatorAdd, ButtonAdminOperatorSave, ...
    RegisterFrame(const QString& prefix, const std::string& prompt, const std::string& addHint,
                  const std::string& deleteHint, QWidget* parent = nullptr);

    QTreeWidget* tree;
    QToolButton* addButton;
    QToolButton* deleteButton;
    AttributesStack* right;
    PromptPanel* prompt;
    HeaderPanel* header;
    QWidget* form;
    QPushButton* saveButton;
    QPushButton* cancelButton;
    // The row that holds the save and cancel buttons.
    QHBoxLayout* buttonRow;
    // A place under the tree column for pages that need a second list.
    QWidget* leftExtra;
    // A place above the prompt and attributes stack for pages that show a list of their own
    // there (hidden until a page uses it).
    QWidget* aboveRight;

    void ShowPrompt() { right->ShowPrompt(); }
    void ShowAttributes() { right->ShowAttributes(); }
    bool PromptShown() const { return right->PromptShown(); }

    // Clears the tree and adds its root (data 0) with the given picture; returns the root.
    QTreeWidgetItem* ResetTree(const std::string& rootText, const QIcon& icon);
    QTreeWidgetItem* Root() const { return tree->topLevelItem(0); }
    QTreeWidgetItem* AddChild(QTreeWidgetItem* parent, const std::string& text, int64_t uid,
                              const QIcon& icon);
    // A further tool button after delete (an icon-only button: its hint names it).
    QToolButton* AddToolButton(const QString& name, const std::string& hint, const QString& text,
                               const QIcon& icon) {
        return bar_->AddToolButton(name, hint, text, icon);
    }
    // A further button before save.
    QPushButton* AddButton(const QString& name, const QString& caption) {
        return right->AddButton(name, caption);
    }

    // Makes the item the selected one without running the page's select.
    void SelectQuietly(QTreeWidgetItem* item);
    // The state of a page with nothing chosen: the root selected, add enabled, delete disabled,
    // the prompt shown (what Cancel does on every register page).
    void ReturnToRoot();

  signals:
    // A click (or keyboard move) on a node of the tree.
    void nodeChosen(QTreeWidgetItem* item);

  private:
    AddDeleteBar* bar_;
};

// Runs `chosen` for a node clicked, or reached with the keyboard, in the tree.
void OnNodeChosen(QTreeWidget* tree, QObject* receiver,
                  const std::function<void(QTreeWidgetItem*)>& chosen);

}  // namespace zb::app
