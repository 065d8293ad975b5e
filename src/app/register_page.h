#pragma once
// A register page: a tree of rows, add and delete over it, and on the right the prompt or the
// chosen row's fields with save and cancel. This class runs that skeleton the same way on every
// register page; a page supplies its fields (in frame()->form) and its rules (the hooks below).
#include <QFormLayout>
#include <QIcon>
#include <QVBoxLayout>
#include <optional>
#include <string>

#include "app/page.h"
#include "app/widgets.h"

namespace zb::app {

struct RegisterTexts {
    std::string caption;  // the page's caption in the trail
    std::string prompt;   // shown while nothing is chosen
    std::string addHint;
    std::string deleteHint;
    std::string rootText;    // the tree's root node
    std::string editHeader;  // the header over a chosen row
    std::string newHeader;   // the header over a row being added
    bool sorted = false;     // the tree is kept in name order (after loading and renaming)
};

class RegisterPage : public Page {
    Q_OBJECT
  public:
    // `prefix` names the controls: "AdminOperator" gives PageAdminOperator,
    // TreeViewAdminOperator, ToolButtonAdminOperatorAdd, ButtonAdminOperatorSave, ...
    RegisterPage(const RegisterTexts& texts, const QString& prefix, QWidget* parent = nullptr);

  public slots:
    // A node of the tree chosen: the root shows the prompt, a row its fields.
    void Select(QTreeWidgetItem* item);
    void Add();
    // Adds the new row (add mode) or saves the chosen one.
    void Save();
    void Delete();
    // Back to the root with the prompt shown.
    void Cancel();

  protected:
    // A node of the tree: its text, its row and its picture.
    struct Node {
        std::string text;
        int64_t uid = 0;
        QIcon icon;
    };

    RegisterFrame* frame() const { return frame_; }
    // The node chosen in the tree (the root when nothing else is).
    QTreeWidgetItem* Chosen() const;
    // How deep a node lies: 0 the root, 1 its rows, 2 their rows.
    static int Level(const QTreeWidgetItem* item);
    // Starts adding a row: the add `button` disabled, save reads "Добавить", the empty fields.
    void StartAdding(QToolButton* button);
    // The column of the attributes' form, where a page puts its fields and groups.
    QVBoxLayout* Form() const { return form_; }
    // Adds a form of caption and field rows to the column (fields take the free width).
    QFormLayout* AddFieldRows();
    void Load() override;

  private:
    // The page's rules, which the skeleton above calls (the pages override them privately).
    // Adds the rows under the root, in the order shown.
    virtual void FillTree(QTreeWidgetItem* root) = 0;
    // Fills the fields with row `uid` (save reads "Сохранить"), or with 0 empties them for a
    // new row (save reads "Добавить"). The attributes are shown.
    virtual void ShowRecord(int64_t uid) = 0;
    // Stores the fields as row `uid`, or with 0 as a new row; returns the row's node, nullopt
    // when refused (the page has said why) or when the row cannot be edited.
    virtual std::optional<Node> StoreRecord(int64_t uid) = 0;
    // Puts a new row's node into the tree; returns the node to select then (by default the
    // new node, under the root).
    virtual QTreeWidgetItem* PlaceNewNode(const Node& node);
    // Runs once a new row's node is in the tree, before it is selected.
    virtual void RecordAdded(const Node&) {}
    // Deletes row `uid`; false when it stays.
    virtual bool DeleteRecord(int64_t uid) = 0;
    // The node to select once a node at `position` under `parent` is gone; nullptr (the
    // default) returns to the root.
    virtual QTreeWidgetItem* NodeAfterDelete(QTreeWidgetItem* /*parent*/, int /*position*/) {
        return nullptr;
    }
    // Enables the tool buttons for the chosen node (by default: add on the root, delete on a
    // row).
    virtual void EnableTools(const QTreeWidgetItem* item);
    // Forgets the row shown (nothing chosen any more).
    virtual void ForgetRecord() {}

    void SortTree();

    RegisterTexts texts_;
    RegisterFrame* frame_;
    QVBoxLayout* form_;
};

}  // namespace zb::app
