// The network state page against the real link: two simulated concentrators connect, finish and
// go; the page follows them every second, and after a restart still shows their last sessions.
#include <QLabel>
#include <QTest>

#include "app/network_page.h"
#include "link/link_server.h"
#include "link/mirror.h"
#include "testing/process.h"
#include "window_fixture.h"

namespace zb::apptest {
namespace {

using app::NetworkPage;
using namespace std::chrono_literals;

class NetworkPageTest : public WindowTest {
  protected:
    QString Summary() const { return Find<QLabel>("LabelAdminNetworkSummary")->text(); }
    // The cells of the row whose ID is `id`, by column.
    QStringList Row(const QString& id) const {
        auto* table = Find<QTableWidget>("StringGridAdminNetwork");
        QStringList cells;
        for (int r = 0; r < table->rowCount() && cells.isEmpty(); ++r) {
            for (int c = 0; table->item(r, NetworkPage::ColumnId)->text() == id &&
                            c < NetworkPage::ColumnCount;
                 ++c) {
                cells << table->item(r, c)->text();
            }
        }
        return cells;
    }
};

TEST_F(NetworkPageTest, FollowsSessionsAndKeepsTheLastOnesAcrossARestart) {
    // Two concentrators, each with a work waiting in its inbox and a periodic work of its own;
    // 00A1 has two measuring points.
    PrepareDatabase({"INSERT into CTR (ID,Comment,XML) values('00A1','ТП-1','')",
                     "INSERT into CTR (ID,Comment,XML) values('00A2','','')",
                     "INSERT into MeasuringPoint (MeterADDR,CtrUID) values('1','1')",
                     "INSERT into MeasuringPoint (MeterADDR,CtrUID) values('2','1')"});
    testing::TempDir ctrRoot;
    for (const char* id : {"00A1", "00A2"}) {
        link::CreateMirrorFolders(dir_.path(), id);
        testing::WriteFile(link::MirrorInbox(dir_.path(), id) / "w-0000000000000001.xml", "<w/>");
        testing::WriteFile(ctrRoot / id / "ROOT/WORK/PERIODIC/p-1.xml", "<periodic/>");
    }
    OpenPage(app::PageId::Ctr);  // its tree gets the connected marks
    ShowPage(app::PageId::Network);
    EXPECT_EQ(Summary(), "На связи: 0 из 2");
    EXPECT_EQ(Row("00A1").mid(0, 5), QStringList({"00A1", "ТП-1", "нет", "", ""}));
    EXPECT_EQ(Row("00A1")[NetworkPage::ColumnPoints] + Row("00A2")[NetworkPage::ColumnPoints],
              "20");

    testing::ChildProcess sim(ZB_CTR_SIM_PATH,
                              {"--port", std::to_string(runtime_->Link()->Port()), "--id", "00A1",
                               "--count", "2", "--root", ctrRoot.path().string()});
    ASSERT_TRUE(WaitFor([&] { return Summary() == "На связи: 2 из 2"; }, 30s)) << sim.output();
    // The status bar counts the connections too.
    window_->StatusTick();
    EXPECT_EQ(Find<QLabel>("StatusPanelConns")->text(), "Соединения: 2");
    auto* tree = Find<QTreeWidget>("TreeViewAdminCtr");
    for (const char* id : {"00A1", "00A2"}) {
        EXPECT_EQ(Row(id)[NetworkPage::ColumnConnected], "да");
        EXPECT_FALSE(Row(id)[NetworkPage::ColumnStart].isEmpty());
        EXPECT_EQ(Row(id)[NetworkPage::ColumnEnd], "");
        EXPECT_EQ(Row(id)[NetworkPage::ColumnIp], "127.0.0.1");
    }
    EXPECT_EQ(ChildByText(tree, "00A2")->toolTip(0), "На связи");

    ASSERT_TRUE(WaitFor([&] { return Summary() == "На связи: 0 из 2"; }, 30s)) << sim.output();
    EXPECT_EQ(sim.Wait(), 0) << sim.output();
    std::map<QString, QStringList> before;
    for (const char* id : {"00A1", "00A2"}) {
        before[id] = Row(id);
        EXPECT_EQ(before[id][NetworkPage::ColumnConnected], "нет");
        EXPECT_FALSE(before[id][NetworkPage::ColumnEnd].isEmpty());
        EXPECT_EQ(before[id][NetworkPage::ColumnIp], "127.0.0.1");
        EXPECT_EQ(before[id][NetworkPage::ColumnFilesIn], "1") << "the periodic work";
        EXPECT_EQ(before[id][NetworkPage::ColumnFilesOut], "2") << "the work and the clock command";
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

    // F5 reads the register again.
    storage::Database().ExecuteSql("INSERT into CTR (ID,Comment,XML) values('00B0','','')");
    QTest::keyClick(Find("StringGridAdminNetwork"), Qt::Key_F5);
    EXPECT_EQ(Summary(), "На связи: 0 из 3");
}

}  // namespace
}  // namespace zb::apptest
