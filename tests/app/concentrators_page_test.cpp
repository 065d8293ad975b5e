// The concentrators page against a real database, real mirror directories and the real link.
#include <QDesktopServices>
#include <QTabWidget>
#include <QTableWidget>
#include <QUrl>

#include "base/events.h"
#include "storage/stored_text.h"
#include "window_fixture.h"

namespace zb::apptest {
namespace {

namespace fs = std::filesystem;

class ConcentratorsPageTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        OpenPage(app::PageId::Ctr);
        tree_ = Find<QTreeWidget>("TreeViewAdminCtr");
    }

    void AddCtr(const QString& id, const QString& comment = {}) {
        AddRecord("AdminCtr", {id, comment});
    }
    fs::path Mirror(const std::string& id) const { return dir_.path() / "CTR" / ("CTR_" + id); }
    QTableWidget* Values(const char* name) const {
        return Find<QTableWidget>(QString("ValueListEditorAdminCtr") + name);
    }

    QTreeWidget* tree_ = nullptr;
};

// The buttons step the ID; a step it cannot take leaves the text as it is.
TEST_F(ConcentratorsPageTest, SpinButtonStepsTheDecimalId) {
    Press("ToolButtonAdminCtrAdd");
    EXPECT_EQ(Edit("LabeledEditAdminCtrID")->text(), "0000");
    EXPECT_FALSE(Enabled("ButtonAdminCtrConnect"));
    EXPECT_FALSE(Enabled("ButtonAdminCtrRefresh"));
    for (const auto& [from, button, to] :
         {std::tuple{"0009", "Up", "0010"}, std::tuple{"0009", "Down", "0008"},
          std::tuple{"00A1", "Up", "00A1"}}) {
        Edit("LabeledEditAdminCtrID")->setText(from);
        Press(QString("SpinButtonAdminCtrID") + button);
        EXPECT_EQ(Edit("LabeledEditAdminCtrID")->text(), to) << from << " " << button;
    }
}

TEST_F(ConcentratorsPageTest, AddRefuseSaveAndDelete) {
    AddCtr("00a1", "ТП-5");
    EXPECT_EQ(ChildTexts(tree_), QStringList{"00A1 [ТП-5]"});
    EXPECT_EQ(Edit("LabeledEditAdminCtrID")->text(), "00A1");
    EXPECT_FALSE(Enabled("SpinButtonAdminCtrID"));
    EXPECT_TRUE(Enabled("ButtonAdminCtrRefresh"));
    for (const char* folder :
         {"WORK/INBOX", "WORK/OUTBOX", "WORK/PERIODIC", "INFO/METERS", "INFO/PROFILES"}) {
        EXPECT_TRUE(fs::is_directory(Mirror("00A1") / "ROOT" / folder)) << folder;
    }

    // A duplicate leaves the page in add mode with the typed fields, and writes nothing.
    AddCtr("00A1", "второй");
    EXPECT_EQ(messages_->warnings(),
              std::vector<std::string>{
                  "Концентратор с таким 'ID' уже существует,\r\nдобавление невозможно! "});
    EXPECT_EQ(Edit("LabeledEditAdminCtrComment")->text(), "второй");
    EXPECT_EQ(Find<QPushButton>("ButtonAdminCtrSave")->text(), "Добавить");
    EXPECT_EQ(Count("CTR"), 1);

    // Saving renames row and node, but the mirror stays where it is.
    AddCtr("00A2");
    ClickItem(tree_, ChildByText(tree_, "00A2"));
    Edit("LabeledEditAdminCtrID")->setText("00b2");
    Edit("LabeledEditAdminCtrPassword")->setText("secret");
    Press("ButtonAdminCtrSave");
    EXPECT_EQ(ChildTexts(tree_), (QStringList{"00A1 [ТП-5]", "00B2"}));
    EXPECT_EQ(Count("CTR", "ID='00B2' AND Password='secret'"), 1);
    EXPECT_TRUE(fs::exists(Mirror("00A2")));
    EXPECT_FALSE(fs::exists(Mirror("00B2")));

    // Deleting releases the measuring points and removes mirror and row.
    storage::Database().ExecuteSql(
        "INSERT into MeasuringPoint (Name,CtrUID) SELECT 'mp',UID from CTR WHERE ID='00A1'");
    ClickItem(tree_, ChildByText(tree_, "00A1 [ТП-5]"));
    Press("ToolButtonAdminCtrDelete");
    EXPECT_EQ(ChildTexts(tree_), QStringList{"00B2"});
    EXPECT_FALSE(fs::exists(Mirror("00A1")));
    EXPECT_TRUE(fs::exists(Mirror("00A2")));
    EXPECT_EQ(Count("MeasuringPoint", "CtrUID=0"), 1);
}

TEST_F(ConcentratorsPageTest, SelectShowsStoredValuesAndRefreshQueuesCommands) {
    AddCtr("00A1");
    storage::Database().ExecuteSql(
        "UPDATE CTR set InfoBasic=" + storage::SqlText("Serial=77<1>\r\nFW=2.1") +
        ", Profile=" + storage::SqlText("Meter=M-230\r\nMeter=ZARNIC"));
    Press("ButtonAdminCtrCancel");
    EXPECT_EQ(Values("InfoBasic")->rowCount(), 0);
    ClickItem(tree_, ChildByText(tree_, "00A1"));
    ASSERT_EQ(Values("InfoBasic")->rowCount(), 2);
    EXPECT_EQ(Values("InfoBasic")->item(0, 1)->text(), "77<1>");
    ASSERT_EQ(Values("Profile")->rowCount(), 2);
    EXPECT_EQ(Values("Profile")->item(1, 1)->text(), "ZARNIC");

    const fs::path inbox = Mirror("00A1") / "ROOT/WORK/INBOX";
    fs::remove(inbox / "GetProfile.xml");
    fs::remove(inbox / "GetParams.xml");
    Press("ButtonAdminCtrRefresh");
    EXPECT_TRUE(fs::exists(inbox / "GetProfile.xml"));
    EXPECT_TRUE(fs::exists(inbox / "GetParams.xml"));

    // Without its mirror the command cannot be written: the layer's text is shown.
    fs::remove_all(Mirror("00A1"));
    Press("ButtonAdminCtrRefresh");
    EXPECT_EQ(messages_->errors().size(), 1u);
}

TEST_F(ConcentratorsPageTest, CoreEventsReachTheConcentratorShown) {
    AddCtr("00A1");
    AddCtr("00A2");
    ClickItem(tree_, ChildByText(tree_, "00A1"));
    base::Events().CtrLastAddressChanged("00A2", "10.0.0.2");
    base::Events().CtrLastAddressChanged("00A1", "10.0.0.1");
    ASSERT_TRUE(WaitFor([&] { return Edit("LabeledEditAdminCtrLastIP")->text() == "10.0.0.1"; }));
    EXPECT_TRUE(Enabled("ButtonAdminCtrConnect"));

    storage::Database().ExecuteSql("UPDATE CTR set InfoBasic='A=1' WHERE ID='00A1'");
    base::Events().CtrValuesChanged("00A2");
    Flush();
    EXPECT_EQ(Values("InfoBasic")->rowCount(), 0);
    base::Events().CtrValuesChanged("00A1");
    ASSERT_TRUE(WaitFor([&] { return Values("InfoBasic")->rowCount() == 1; }));
    EXPECT_EQ(Values("InfoBasic")->item(0, 0)->text(), "A");
}

// Receives the URLs the page asks the desktop to open.
class UrlCatcher : public QObject {
    Q_OBJECT
  public:
    QList<QUrl> urls;
  public slots:
    void open(const QUrl& url) { urls << url; }
};

TEST_F(ConcentratorsPageTest, HandshakeOfTheRegisteredConcentratorShowsItsAddress) {
    AddCtr("00A1");
    zb::testing::TempDir ctr;
    ASSERT_EQ(RunConcentrator("00A1", ctr.path()), 0);
    EXPECT_EQ(Edit("LabeledEditAdminCtrLastIP")->text(), "127.0.0.1");
    EXPECT_TRUE(Enabled("ButtonAdminCtrConnect"));

    // Selecting it again reads the address from the link's table.
    Press("ButtonAdminCtrCancel");
    ClickItem(tree_, ChildByText(tree_, "00A1"));
    EXPECT_EQ(Edit("LabeledEditAdminCtrLastIP")->text(), "127.0.0.1");

    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("http", &catcher, "open");
    Press("ButtonAdminCtrConnect");
    QDesktopServices::unsetUrlHandler("http");
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls[0].toString(), "http://127.0.0.1");
}

}  // namespace
}  // namespace zb::apptest

#include "concentrators_page_test.moc"
