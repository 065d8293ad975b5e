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

using MeasuringPointsPageTest = WindowTest;

TEST_F(MeasuringPointsPageTest, EditChooseSaveReloadShowAMeterAndItsProfileFromTheLink) {
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
    zb::testing::WriteFile(link::MirrorDir(dir_.path(), "00A1") / "ROOT" /
                               "INFO/PROFILES/profile-00000012-00000003.xml",
                           "<profile><var Name=\"0000.ReadRegister\"/>"
                           "<var VID=\"01000100\"/></profile>");
    OpenPage(app::PageId::MeasuringPoints);
    auto* grid = Find<QTableWidget>("StringGridAdminMeter");
    auto* tree = Find<QTreeWidget>("TreeViewAdminMeter");
    const fs::path inbox = link::MirrorInbox(dir_.path(), "00A1");
    const auto cell = [&](int row, int column) { return grid->item(row, column)->text(); };
    const auto chooseConcentrator = [&] { ClickItem(tree, ChildByText(tree, "00A1 [ТП-5]")); };
    chooseConcentrator();
    ASSERT_EQ(grid->rowCount(), 2);

    // The name typed into its cell.
    grid->setCurrentCell(0, 3);
    QTest::keyClick(grid, Qt::Key_F2);
    auto* editor = grid->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    Type(editor, "Ввод 1");
    QTest::keyClick(editor, Qt::Key_Return);
    Flush();
    EXPECT_EQ(cell(0, 0), "0000000A *");

    // The category from the chooser, whose list is sorted.
    ClickRow(grid, 1, 7);
    auto* chooser = Find<QComboBox>("ComboBoxAdminMeter");
    ASSERT_TRUE(chooser->isVisible());
    QTest::keyClick(chooser, Qt::Key_Down);
    EXPECT_EQ(cell(1, 7), "Быт");
    EXPECT_EQ(cell(1, 0), "0000000B *");

    Press("ButtonAdminMeterSave");
    EXPECT_EQ(Count("MeasuringPoint",
                    "(Name='Ввод 1' AND MeterADDR='0000000A') OR "
                    "(CustomGroupUID=2 AND MeterADDR='0000000B')"),
              2);

    // F5 reads the page again; the concentrator shows what was saved.
    QTest::keyClick(window_.get(), Qt::Key_F5);
    EXPECT_EQ(grid->rowCount(), 0);
    chooseConcentrator();
    EXPECT_EQ(cell(0, 3) + "|" + cell(1, 7), "Ввод 1|Быт");

    // A meter's three tables (their rows are the importers' tests).
    ClickRow(grid, 0, 1);
    auto* profile = Find<QTableWidget>("ValueListEditorAdminMeterProfile");
    EXPECT_EQ(Find<QTableWidget>("ValueListEditorAdminMeterInfoArch")->item(0, 1)->text(),
              "I 30 мин (00000300)");
    ASSERT_EQ(profile->rowCount(), 3);

    Press("ButtonAdminMeterRefresh");
    EXPECT_TRUE(fs::exists(inbox / "RefreshMeter_0000000A.xml"));
    QTest::mouseClick(Find("ButtonAdminMeterDelete"), Qt::LeftButton, Qt::AltModifier);
    EXPECT_TRUE(fs::exists(inbox / "DeleteMeter_ANY.xml"));
    EXPECT_TRUE(messages_->errors().empty());

    // A profile the concentrator sends over the link while its meter is shown fills the profile
    // tab without a click.
    zb::testing::TempDir ctr;
    zb::testing::WriteFile(ctr / "ROOT/INFO/PROFILES/profile-00000012-00000003.xml",
                           "<profile><var Name=\"0000.ReadRegister\"/></profile>");
    ASSERT_EQ(RunConcentrator("00A1", ctr.path()), 0);
    ASSERT_EQ(profile->rowCount(), 2);
    EXPECT_EQ(profile->item(0, 1)->text(), "0000.ReadRegister");
}

}  // namespace
}  // namespace zb::apptest
