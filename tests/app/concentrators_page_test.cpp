// The concentrators page against a real database, real mirror directories and the real link.
#include <sys/socket.h>
#include <QDesktopServices>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QUrl>

#include "base/events.h"
#include "link/frame.h"
#include "link/link_server.h"
#include "storage/stored_text.h"
#include "window_fixture.h"

namespace zb::apptest {
namespace {

namespace fs = std::filesystem;

class ConcentratorsPageTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        OpenAdminPage("LabelAdminCtr");
        tree_ = Find<QTreeWidget>("TreeViewAdminCtr");
    }

    // Add mode, the typed fields, then the save button.
    void AddCtr(const QString& id, const QString& comment = {}) {
        Click(Find<QWidget>("ButtonAdminCtrCancel"));
        Click(Find<QWidget>("ToolButtonAdminCtrAdd"));
        Edit("LabeledEditAdminCtrID")->setText(id);
        Edit("LabeledEditAdminCtrComment")->setText(comment);
        Click(Find<QWidget>("ButtonAdminCtrSave"));
        Flush();
    }

    fs::path Mirror(const std::string& id) const { return dir_.path() / "CTR" / ("CTR_" + id); }

    QTreeWidget* tree_ = nullptr;
};

TEST_F(ConcentratorsPageTest, OpensBlankThenAddModeWithTheSpinButton) {
    EXPECT_EQ(tree_->topLevelItem(0)->text(0), "Концентраторы");
    EXPECT_TRUE(Showing("PanelAdminCtrShadow"));
    EXPECT_FALSE(Find<QWidget>("ToolButtonAdminCtrDelete")->isEnabled());
    EXPECT_EQ(Find<QWidget>("ToolButtonAdminCtrAdd")->toolTip(), "Добавить новый концентратор");
    EXPECT_EQ(Find<QWidget>("ButtonAdminCtrRefresh")->toolTip(),
              "Загрузить команду на обновление атрибутов концентратора");

    Click(Find<QWidget>("ToolButtonAdminCtrAdd"));
    EXPECT_EQ(HeaderText("AdminCtr"), "Новый концентратор");
    EXPECT_EQ(Edit("LabeledEditAdminCtrID")->text(), "0000");
    EXPECT_EQ(Edit("LabeledEditAdminCtrLastIP")->text(), "<NULL>");
    EXPECT_FALSE(Find<QPushButton>("ButtonAdminCtrConnect")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>("ButtonAdminCtrRefresh")->isEnabled());
    EXPECT_EQ(Find<QPushButton>("ButtonAdminCtrSave")->text(), "Добавить");
    EXPECT_FALSE(Find<QWidget>("ToolButtonAdminCtrAdd")->isEnabled());

    // The buttons step the ID; a step it cannot take leaves the text as it is.
    Edit("LabeledEditAdminCtrID")->setText("0009");
    Click(Find<QWidget>("SpinButtonAdminCtrIDUp"));
    EXPECT_EQ(Edit("LabeledEditAdminCtrID")->text(), "0010");
    Click(Find<QWidget>("SpinButtonAdminCtrIDDown"));
    Click(Find<QWidget>("SpinButtonAdminCtrIDDown"));
    EXPECT_EQ(Edit("LabeledEditAdminCtrID")->text(), "0008");
    Edit("LabeledEditAdminCtrID")->setText("00A1");
    Click(Find<QWidget>("SpinButtonAdminCtrIDUp"));
    EXPECT_EQ(Edit("LabeledEditAdminCtrID")->text(), "00A1");
}

TEST_F(ConcentratorsPageTest, AddRefuseAndDelete) {
    AddCtr("00a1", "ТП-5");
    EXPECT_TRUE(messages_->warnings().empty());
    EXPECT_TRUE(messages_->errors().empty());
    EXPECT_EQ(Count("CTR", "ID='00A1'"), 1);
    EXPECT_EQ(ChildTexts(tree_), QStringList{"00A1 [ТП-5]"});
    // The new concentrator is open for editing.
    EXPECT_EQ(tree_->currentItem()->text(0), "00A1 [ТП-5]");
    EXPECT_EQ(HeaderText("AdminCtr"), "Концентратор (редактировать)");
    EXPECT_EQ(Edit("LabeledEditAdminCtrID")->text(), "00A1");
    EXPECT_EQ(Find<QPushButton>("ButtonAdminCtrSave")->text(), "Сохранить");
    EXPECT_FALSE(Find<QWidget>("SpinButtonAdminCtrID")->isEnabled());
    EXPECT_TRUE(Find<QPushButton>("ButtonAdminCtrRefresh")->isEnabled());
    for (const char* folder :
         {"WORK/INBOX", "WORK/OUTBOX", "WORK/PERIODIC", "INFO/METERS", "INFO/PROFILES"}) {
        EXPECT_TRUE(fs::is_directory(Mirror("00A1") / "ROOT" / folder)) << folder;
    }

    AddCtr("00A1", "второй");
    EXPECT_EQ(messages_->warnings(),
              std::vector<std::string>{
                  "Концентратор с таким 'ID' уже существует,\r\nдобавление невозможно! "});
    // The typed fields stay, the page stays in add mode, nothing is written.
    EXPECT_EQ(Edit("LabeledEditAdminCtrComment")->text(), "второй");
    EXPECT_EQ(Find<QPushButton>("ButtonAdminCtrSave")->text(), "Добавить");
    EXPECT_EQ(Count("CTR"), 1);

    // Deleting releases the measuring points and removes mirror and row, without asking.
    AddCtr("00A2");
    storage::Database().ExecuteSql(
        "INSERT into MeasuringPoint (Name,CtrUID) SELECT 'mp',UID from CTR WHERE ID='00A1'");
    ClickItem(tree_, ChildByText(tree_, "00A1 [ТП-5]"));
    EXPECT_TRUE(Find<QWidget>("ToolButtonAdminCtrDelete")->isEnabled());
    Click(Find<QWidget>("ToolButtonAdminCtrDelete"));
    EXPECT_TRUE(messages_->questions().empty());
    EXPECT_EQ(ChildTexts(tree_), QStringList{"00A2"});
    EXPECT_FALSE(fs::exists(Mirror("00A1")));
    EXPECT_TRUE(fs::exists(Mirror("00A2")));
    EXPECT_EQ(Count("CTR"), 1);
    EXPECT_EQ(Count("MeasuringPoint", "CtrUID=0"), 1);
    EXPECT_TRUE(Showing("PanelAdminCtrShadow"));
    EXPECT_EQ(tree_->currentItem(), tree_->topLevelItem(0));
    EXPECT_FALSE(Find<QWidget>("ToolButtonAdminCtrDelete")->isEnabled());
}

TEST_F(ConcentratorsPageTest, SaveUpdatesRowAndNodeButKeepsTheMirror) {
    AddCtr("00A1", "старый");
    Edit("LabeledEditAdminCtrID")->setText("00b2");
    Edit("LabeledEditAdminCtrComment")->setText("новый");
    Edit("LabeledEditAdminCtrPassword")->setText("secret");
    Click(Find<QWidget>("ButtonAdminCtrSave"));
    EXPECT_EQ(ChildTexts(tree_), QStringList{"00B2 [новый]"});
    EXPECT_EQ(Count("CTR", "Password='secret'"), 1);
    EXPECT_TRUE(fs::exists(Mirror("00A1")));
    EXPECT_FALSE(fs::exists(Mirror("00B2")));
}

TEST_F(ConcentratorsPageTest, SelectShowsStoredValuesAndRefreshQueuesCommands) {
    AddCtr("00A1");
    storage::Database().ExecuteSql(
        "UPDATE CTR set InfoBasic=" + storage::SqlText("Serial=77<1>\r\nFW=2.1") +
        ", Profile=" + storage::SqlText("Meter=M-230\r\nMeter=ZARNIC"));
    Click(Find<QPushButton>("ButtonAdminCtrCancel"));
    EXPECT_TRUE(Showing("PanelAdminCtrShadow"));
    EXPECT_EQ(Find<QTableWidget>("ValueListEditorAdminCtrInfoBasic")->rowCount(), 0);
    ClickItem(tree_, ChildByText(tree_, "00A1"));
    ASSERT_EQ(Find<QTableWidget>("ValueListEditorAdminCtrInfoBasic")->rowCount(), 2);
    EXPECT_EQ(Find<QTableWidget>("ValueListEditorAdminCtrInfoBasic")->item(0, 1)->text(), "77<1>");
    EXPECT_EQ(Find<QTableWidget>("ValueListEditorAdminCtrProfile")->rowCount(), 2);
    EXPECT_EQ(Find<QTableWidget>("ValueListEditorAdminCtrProfile")->item(1, 1)->text(), "ZARNIC");

    const fs::path inbox = Mirror("00A1") / "ROOT/WORK/INBOX";
    fs::remove(inbox / "GetProfile.xml");
    fs::remove(inbox / "GetParams.xml");
    Click(Find<QPushButton>("ButtonAdminCtrRefresh"));
    EXPECT_TRUE(fs::exists(inbox / "GetProfile.xml"));
    EXPECT_TRUE(fs::exists(inbox / "GetParams.xml"));

    // Without its mirror the command cannot be written: the layer's text is shown.
    fs::remove_all(Mirror("00A1"));
    Click(Find<QPushButton>("ButtonAdminCtrRefresh"));
    EXPECT_EQ(messages_->errors().size(), 1u);
}

TEST_F(ConcentratorsPageTest, CoreEventsReachTheConcentratorShown) {
    AddCtr("00A1");
    AddCtr("00A2");
    ClickItem(tree_, ChildByText(tree_, "00A1"));
    base::Events().CtrLastAddressChanged("00A2", "10.0.0.2");
    base::Events().CtrLastAddressChanged("00A1", "10.0.0.1");
    ASSERT_TRUE(WaitFor([&] { return Edit("LabeledEditAdminCtrLastIP")->text() == "10.0.0.1"; }));
    EXPECT_TRUE(Find<QPushButton>("ButtonAdminCtrConnect")->isEnabled());

    storage::Database().ExecuteSql("UPDATE CTR set InfoBasic='A=1' WHERE ID='00A1'");
    base::Events().CtrValuesChanged("00A2");
    Flush();
    EXPECT_EQ(Find<QTableWidget>("ValueListEditorAdminCtrInfoBasic")->rowCount(), 0);
    base::Events().CtrValuesChanged("00A1");
    ASSERT_TRUE(WaitFor(
        [&] { return Find<QTableWidget>("ValueListEditorAdminCtrInfoBasic")->rowCount() == 1; }));
    EXPECT_EQ(Find<QTableWidget>("ValueListEditorAdminCtrInfoBasic")->item(0, 0)->text(), "A");
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
    ASSERT_NE(runtime_->Link(), nullptr);
    {
        LoopbackClient ctr(runtime_->Link()->Port());
        ASSERT_TRUE(ctr.connected());
        uint8_t request[link::kAnswerSize];
        ASSERT_EQ(::recv(ctr.fd(), request, sizeof request, MSG_WAITALL),
                  static_cast<ssize_t>(sizeof request));
        std::vector<uint8_t> answer;
        link::BuildHandshakeAnswer(answer, 0x00A1);
        ASSERT_EQ(::send(ctr.fd(), answer.data(), answer.size(), 0),
                  static_cast<ssize_t>(answer.size()));
        ASSERT_TRUE(
            WaitFor([&] { return Edit("LabeledEditAdminCtrLastIP")->text() == "127.0.0.1"; }));
        EXPECT_TRUE(Find<QPushButton>("ButtonAdminCtrConnect")->isEnabled());
    }

    // Selecting it again reads the address from the link's table.
    Click(Find<QPushButton>("ButtonAdminCtrCancel"));
    ClickItem(tree_, ChildByText(tree_, "00A1"));
    EXPECT_EQ(Edit("LabeledEditAdminCtrLastIP")->text(), "127.0.0.1");

    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("http", &catcher, "open");
    Click(Find<QPushButton>("ButtonAdminCtrConnect"));
    QDesktopServices::unsetUrlHandler("http");
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls[0].toString(), "http://127.0.0.1");
}

}  // namespace
}  // namespace zb::apptest

#include "concentrators_page_test.moc"
