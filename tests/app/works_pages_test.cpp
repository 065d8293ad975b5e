// The library and dispatch pages driven through their widgets, over the shipped catalogue and
// two registered concentrators.
#include <QComboBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTabWidget>

#include "link/mirror.h"
#include "storage/stored_text.h"
#include "window_fixture.h"

namespace zb::apptest {
namespace {

namespace fs = std::filesystem;
using app::PageId;

class WorksPagesTest : public WindowTest {
  protected:
    // Picks an item of a drop-down list as the operator does.
    void Choose(const char* list, const QString& text) {
        auto* combo = Find<QComboBox>(list);
        const int index = combo->findText(text);
        ASSERT_GE(index, 0) << text.toStdString();
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }
    static QTreeWidgetItem* Node(QTreeWidget* tree, const QString& text) {
        const auto found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        EXPECT_EQ(found.size(), 1) << text.toStdString();
        return found.isEmpty() ? nullptr : found[0];
    }
};

TEST_F(WorksPagesTest, ComposeReopenDispatchAndDeleteAWork) {
    CopyShippedCatalogue();
    for (const char* id : {"00A1", "00B2"}) {
        link::CreateMirrorFolders(dir_.path(), id);
    }
    PrepareDatabase(
        {"INSERT into CTR (ID,Comment) values('00A1','')",
         "INSERT into CTR (ID,Comment) values('00B2','')",
         "INSERT into MeasuringPoint (MeterADDR,Syntax,CtrUID) values('0A','ZARNIC',1)",
         "INSERT into MeasuringPoint (MeterADDR,Syntax,CtrUID) values('0B','M-230',2)"});
    OpenPage(PageId::Library);
    auto* tree = Find<QTreeWidget>("TreeViewWorkLib");
    // A work and, under it, a ZARNIC read of a voltage and an M-230 request.
    Press("ToolButtonWorkLibAdd");
    Find<QLineEdit>("EditWorkLibName")->setText("Напряжения");
    Press("ButtonWorkLibSave");
    ClickItem(tree, Node(tree, "Напряжения"));
    Press("ToolButtonWorkLibAddTask");
    Choose("ComboBoxWorkLibGroup", "Счётчик ZM-3 трёхфазный");
    Choose("ComboBoxWorkLibVar", "Напряжение, фаза A");
    Find<QSpinBox>("SpinEditWorkLibAttempts")->setValue(7);
    Press("ButtonWorkLibSave");
    Press("ToolButtonWorkLibAddTask");
    Find<QTabWidget>("PageControlWorkLibTask")->setCurrentIndex(2);
    Find<QLineEdit>("EditWorkLibM230Name")->setText("P1");
    Find<QPlainTextEdit>("MemoWorkLibM230Value")->setPlainText(" 0811\n");
    Press("ButtonWorkLibSave");
    ShowPage(PageId::Library);  // read back from the database
    QTreeWidgetItem* work = Node(tree, "Напряжения");
    ASSERT_NE(work, nullptr);
    ASSERT_EQ(work->childCount(), 2);
    EXPECT_EQ(work->child(0)->text(0), "ZARNIC.0001.VoltageL1 [R]");
    EXPECT_EQ(work->child(1)->text(0), "M-230.P1");

    ClickItem(tree, work->child(0));
    EXPECT_EQ(Find<QComboBox>("ComboBoxWorkLibVar")->currentText(), "Напряжение, фаза A");
    EXPECT_EQ(Find<QSpinBox>("SpinEditWorkLibAttempts")->value(), 7);
    ClickItem(tree, work->child(1));
    EXPECT_EQ(Find<QTabWidget>("PageControlWorkLibTask")->currentIndex(), 2);
    EXPECT_EQ(Find<QLineEdit>("EditWorkLibM230Name")->text(), "P1");
    EXPECT_EQ(Find<QPlainTextEdit>("MemoWorkLibM230Value")->toPlainText(), "0811");

    ShowPage(PageId::UpLoad);
    auto* dispatchTree = Find<QTreeWidget>("TreeViewWork");
    ClickItem(dispatchTree, Node(dispatchTree, "Напряжения"));
    // "All" selects both concentrators, and any of their meters.
    Find<QListWidget>("ListBoxWorkCtr")->item(0)->setSelected(true);
    EXPECT_TRUE(Find<QListWidget>("ListBoxWorkMeter")->item(0)->isSelected());
    Press("ButtonWorkUpLoad");
    ASSERT_TRUE(messages_->errors().empty()) << messages_->errors()[0];
    ASSERT_EQ(Count("Work"), 1);
    for (const char* id : {"00A1", "00B2"}) {
        const fs::path inbox = link::MirrorInbox(dir_.path(), id);
        ASSERT_EQ(std::distance(fs::directory_iterator(inbox), fs::directory_iterator()), 1) << id;
        const std::string file = testing::ReadFile(fs::directory_iterator(inbox)->path());
        EXPECT_NE(file.find("  <workTarget Meter=\"ANY\"/>\r\n  <task taskUID=\""),
                  std::string::npos);
        EXPECT_NE(file.find("Var=\"0001.VoltageL1\" OpCode=\"R\" MaxAttempts=\"7\"/>\r\n"
                            "  </task>\r\n  <task taskUID=\""),
                  std::string::npos);
    }

    // A request whose variable left the catalogue is shown by its stored name, and can go.
    storage::Database().ExecuteSql(
        "UPDATE Task set XML = " +
        storage::SqlText("<task Syntax=\"ZARNIC\">\r\n  <req Var=\"0009.Gone\" OpCode=\"R\"/>\r\n"
                         "</task>\r\n") +
        " WHERE Name LIKE 'ZARNIC%'");
    ShowPage(PageId::Library);
    ClickItem(tree, Node(tree, "ZARNIC.0001.VoltageL1 [R]"));
    auto* remark = Find<QLabel>("LabelWorkLibMissingVar");
    EXPECT_TRUE(!remark->isHidden() && remark->text().contains("0009.Gone"));
    EXPECT_FALSE(Showing("ComboBoxWorkLibVar"));
    Press("ToolButtonWorkLibDelete");
    EXPECT_EQ(Count("Task"), 1);
    // The next request took the deleted one's place; a work goes with its requests.
    EXPECT_EQ(tree->currentItem()->text(0), "M-230.P1");
    ClickItem(tree, Node(tree, "Напряжения"));
    Press("ToolButtonWorkLibDelete");
    EXPECT_EQ(Count("WorkLib") + Count("Task"), 0);
}

}  // namespace
}  // namespace zb::apptest
