// The network state page against the real link: two simulated concentrators connect, finish and
// go; the page follows them every second, and after a restart still shows their last sessions.
#include <QHeaderView>
#include <QTest>

#include "app/concentrators_page.h"
#include "app/network_page.h"
#include "link/link_server.h"
#include "link/mirror.h"
#include "storage/stored_text.h"
#include "testing/process.h"
#include "window_fixture.h"

namespace zb::apptest {
namespace {

namespace fs = std::filesystem;
using app::NetworkPage;
using namespace std::chrono_literals;

class NetworkPageTest : public WindowTest {
  protected:
    // Two registered concentrators, each with a work waiting in its inbox; 00A1 has two
    // measuring points.
    void Register() {
        PrepareDatabase({
            "INSERT into CTR (ID,Comment,XML) values('00A1'," + storage::SqlText("ТП-1") + ",'')",
            "INSERT into CTR (ID,Comment,XML) values('00A2','','')",
            "INSERT into MeasuringPoint (MeterADDR,CtrUID) values('1','1')",
            "INSERT into MeasuringPoint (MeterADDR,CtrUID) values('2','1')",
        });
        for (const char* id : {"00A1", "00A2"}) {
            link::CreateMirrorFolders(dir_.path(), id);
            testing::WriteFile(link::MirrorInbox(dir_.path(), id) / "w-0000000000000001.xml",
                               "<work/>");
            testing::WriteFile(ctrRoot_ / id / "ROOT/WORK/PERIODIC/p-1.xml", "<periodic/>");
        }
    }

    NetworkPage* Page() const {
        return static_cast<app::NetworkPage*>(window_->PageOf(app::PageId::Network));
    }
    QString Summary() const { return Page()->summaryLabel()->text(); }

    // The cells of the row whose ID is `id`, by column.
    QStringList Row(const QString& id) const {
        QTableWidget* table = Page()->table();
        for (int r = 0; r < table->rowCount(); ++r) {
            if (table->item(r, NetworkPage::ColumnId)->text() == id) {
                QStringList cells;
                for (int c = 0; c < NetworkPage::ColumnCount; ++c) {
                    cells << table->item(r, c)->text();
                }
                return cells;
            }
        }
        return {};
    }

    testing::TempDir ctrRoot_;
};

TEST_F(NetworkPageTest, FollowsSessionsAndKeepsTheLastOnesAcrossARestart) {
    Register();
    OpenPage(app::PageId::Ctr);  // its tree gets the connected marks
    OpenPage(app::PageId::Network);
    EXPECT_EQ(Summary(), "На связи: 0 из 2");
    EXPECT_EQ(Row("00A1").mid(0, 5), QStringList({"00A1", "ТП-1", "нет", "", ""}));
    EXPECT_EQ(Row("00A1")[NetworkPage::ColumnPoints] + Row("00A2")[NetworkPage::ColumnPoints],
              "20");

    testing::ChildProcess sim(
        fs::path(ZB_CTR_SIM_PATH),
        std::vector<std::string>{"--port", std::to_string(runtime_->Link()->Port()), "--id", "00A1",
                                 "--count", "2", "--root", ctrRoot_.path().string()});
    ASSERT_TRUE(WaitFor([&] { return Summary() == "На связи: 2 из 2"; }, 30s))
        << Summary().toStdString() << "\n"
        << Find<QPlainTextEdit>("MemoLog")->toPlainText().toStdString();
    for (const char* id : {"00A1", "00A2"}) {
        EXPECT_EQ(Row(id)[NetworkPage::ColumnConnected], "да");
        EXPECT_FALSE(Row(id)[NetworkPage::ColumnStart].isEmpty());
        EXPECT_EQ(Row(id)[NetworkPage::ColumnEnd], "");
        EXPECT_EQ(Row(id)[NetworkPage::ColumnIp], "127.0.0.1");
    }
    auto* tree = Find<QTreeWidget>("TreeViewAdminCtr");
    EXPECT_EQ(ChildByText(tree, "00A1 [ТП-1]")->toolTip(0), "На связи");
    EXPECT_EQ(ChildByText(tree, "00A2")->toolTip(0), "На связи");

    ASSERT_TRUE(WaitFor([&] { return Summary() == "На связи: 0 из 2"; }, 30s)) << sim.output();
    EXPECT_EQ(sim.Wait(), 0) << sim.output();
    std::map<QString, QStringList> before;
    for (const char* id : {"00A1", "00A2"}) {
        const QStringList row = Row(id);
        EXPECT_EQ(row[NetworkPage::ColumnConnected], "нет");
        EXPECT_FALSE(row[NetworkPage::ColumnEnd].isEmpty());
        EXPECT_EQ(row[NetworkPage::ColumnIp], "127.0.0.1");
        EXPECT_EQ(row[NetworkPage::ColumnFilesIn], "1") << "the periodic work";
        EXPECT_EQ(row[NetworkPage::ColumnFilesOut], "2") << "the work and the clock command";
        before[id] = row;
    }
    EXPECT_EQ(ChildByText(tree, "00A2")->toolTip(0), "");

    // A restart: the window and the core go, and come back on the same directory.
    window_.reset();
    runtime_.reset();
    storage::SetDatabase(nullptr);
    OpenPage(app::PageId::Network);
    EXPECT_EQ(Summary(), "На связи: 0 из 2");
    for (const char* id : {"00A1", "00A2"}) {
        EXPECT_EQ(Row(id), before[id]);
    }
    EXPECT_EQ(Count("CtrSession"), 2);

    // Sorting by a header click, and F5 reading the register again.
    QHeaderView* header = Page()->table()->horizontalHeader();
    const int x = header->sectionViewportPosition(NetworkPage::ColumnComment) + 5;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    EXPECT_EQ(Page()->table()->item(0, NetworkPage::ColumnId)->text(), "00A2") << "empty first";
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    EXPECT_EQ(Page()->table()->item(0, NetworkPage::ColumnId)->text(), "00A1");
    storage::Database().ExecuteSql("INSERT into CTR (ID,Comment,XML) values('00B0','','')");
    const int loads = Page()->Loads();
    QTest::keyClick(Page()->table(), Qt::Key_F5);
    EXPECT_EQ(Page()->Loads(), loads + 1);
    EXPECT_EQ(Summary(), "На связи: 0 из 3");
    EXPECT_EQ(Row("00B0")[NetworkPage::ColumnStart], "");
    EXPECT_TRUE(messages_->errors().empty());
}

}  // namespace
}  // namespace zb::apptest
