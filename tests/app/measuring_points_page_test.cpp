// The measuring points register against a real database, a real mirror and the real catalogue.
#include <QLineEdit>
#include <QTest>

#include "app/measuring_points_page.h"
#include "link/mirror.h"
#include "storage/stored_text.h"
#include "window_fixture.h"

namespace zb::apptest {
namespace {

namespace fs = std::filesystem;
using storage::SqlText;

class MeasuringPointsPageTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        const std::string basic = "0000.ProjectID=00000012\r\n0000.ProfileID=00000003\r\nA=1\r\n";
        PrepareDatabase({
            "INSERT into CTR (ID,Comment) values('00A1','ТП-5')",
            "INSERT into CustomGroup (Name) values('Промышленность')",
            "INSERT into CustomGroup (Name) values('Быт')",
            "INSERT into MeasuringPoint (CtrUID,MeterADDR,MeterSN,Syntax,MeterInfoBasic,"
            "MeterInfoArch) values('1','0000000A','SN-10','ZARNIC'," +
                SqlText(basic) + "," + SqlText("Arch=I 30 мин (00000300)\r\n") + ")",
            "INSERT into MeasuringPoint (CtrUID,MeterADDR,MeterSN,Syntax) "
            "values('1','0000000B','SN-11','M-230')",
        });
        link::CreateMirrorFolders(dir_.path(), "00A1");
        CopyShippedCatalogue();
        zb::testing::WriteFile(
            inbox().parent_path().parent_path() / "INFO/PROFILES/profile-00000012-00000003.xml",
            "<profile><var Name=\"0000.ReadRegister\"/>"
            "<var VID=\"01000100\"/></profile>");
        OpenPage(app::PageId::MeasuringPoints);
        page_ =
            static_cast<app::MeasuringPointsPage*>(window_->PageOf(app::PageId::MeasuringPoints));
        grid_ = page_->grid();
    }
    fs::path inbox() const { return link::MirrorInbox(dir_.path(), "00A1"); }
    QString Cell(int row, int column) const { return grid_->item(row, column)->text(); }
    void ChooseConcentrator() {
        ClickItem(page_->frame()->tree, ChildByText(page_->frame()->tree, "00A1 [ТП-5]"));
    }

    app::MeasuringPointsPage* page_ = nullptr;
    QTableWidget* grid_ = nullptr;
};

TEST_F(MeasuringPointsPageTest, EditChooseSaveReloadAndShowAMeter) {
    ChooseConcentrator();
    ASSERT_EQ(grid_->rowCount(), 2);

    // The name typed into its cell.
    grid_->setCurrentCell(0, 3);
    QTest::keyClick(grid_, Qt::Key_F2);
    auto* editor = grid_->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    Type(editor, "Ввод 1");
    QTest::keyClick(editor, Qt::Key_Return);
    Flush();
    EXPECT_EQ(Cell(0, 0), "0000000A *");
    EXPECT_TRUE(page_->saveButton()->isEnabled());

    // The category from the chooser, whose list is sorted.
    ClickRow(grid_, 1, 7);
    QComboBox* chooser = page_->chooser();
    ASSERT_TRUE(chooser->isVisible());
    QTest::keyClick(chooser, Qt::Key_Down);
    EXPECT_EQ(Cell(1, 7), "Быт");
    EXPECT_EQ(Cell(1, 0), "0000000B *");

    Click(page_->saveButton());
    EXPECT_EQ(Count("MeasuringPoint", "Name='Ввод 1' AND MeterADDR='0000000A'"), 1);
    EXPECT_EQ(Count("MeasuringPoint", "CustomGroupUID=2 AND MeterADDR='0000000B'"), 1);

    // F5 reads the page again; the concentrator shows what was saved.
    QTest::keyClick(window_.get(), Qt::Key_F5);
    EXPECT_EQ(grid_->rowCount(), 0);
    ChooseConcentrator();
    EXPECT_EQ(Cell(0, 3), "Ввод 1");
    EXPECT_EQ(Cell(1, 7), "Быт");

    // A meter's three tables, its profile by the catalogue's names.
    ClickRow(grid_, 0, 1);
    auto* tabs = page_->attributes();
    EXPECT_EQ(tabs->basicList()->rowCount(), 3);
    EXPECT_EQ(tabs->archiveList()->item(0, 1)->text(), "I 30 мин (00000300)");
    ASSERT_EQ(tabs->profileList()->rowCount(), 3);
    EXPECT_EQ(tabs->profileList()->item(1, 1)->text(), "0001.EnergyImport");

    Click(page_->refreshButton());
    EXPECT_TRUE(fs::exists(inbox() / "RefreshMeter_0000000A.xml"));
    QTest::mouseClick(page_->deleteButton(), Qt::LeftButton, Qt::AltModifier);
    EXPECT_TRUE(fs::exists(inbox() / "DeleteMeter_ANY.xml"));
    EXPECT_TRUE(messages_->errors().empty());
}

// The real link and the concentrator simulator: a profile that arrives while its meter is shown
// fills the profile tab without a click.
TEST_F(MeasuringPointsPageTest, AProfileSentByTheConcentratorReachesTheShownMeter) {
    fs::remove(inbox().parent_path().parent_path() / "INFO/PROFILES/profile-00000012-00000003.xml");
    ChooseConcentrator();
    ClickRow(grid_, 0, 3);
    QTableWidget* profile = page_->attributes()->profileList();
    ASSERT_EQ(profile->rowCount(), 0);

    zb::testing::TempDir ctr;
    zb::testing::WriteFile(ctr / "ROOT/INFO/PROFILES/profile-00000012-00000003.xml",
                           "<profile><var Name=\"0000.ReadRegister\"/></profile>");
    ASSERT_EQ(RunConcentrator("00A1", ctr.path()), 0);
    ASSERT_EQ(profile->rowCount(), 2);
    EXPECT_EQ(profile->item(0, 0)->text(), "Функция");
    EXPECT_EQ(profile->item(0, 1)->text(), "0000.ReadRegister");
}

}  // namespace
}  // namespace zb::apptest
