// Renders the statistics and periodic removal pages into <build>/pages/*.png. The other pages
// are rendered by tools/render_pages.cpp; these shots are still to move there as a session.
#include <QDir>
#include <QPixmap>

#include "app/periodic_page.h"
#include "app/stat_page.h"
#include "base/log.h"
#include "link/mirror.h"
#include "storage/schema.h"
#include "storage/stored_text.h"
#include "storage/time_stamp.h"
#include "testing/results_rows.h"
#include "testing/temp_dir.h"
#include "window_fixture.h"
#include "work/dispatch.h"
#include "work/work_library.h"

namespace zb::apptest {
namespace {

using app::PageId;
using storage::SqlText;

class RenderPages : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        const char* binary = std::getenv("ZB_BINARY_DIR");
        out_ = QDir(binary != nullptr ? QString(binary) : QDir::currentPath()).filePath("pages");
        QDir().mkpath(out_);
    }

    void Save(const QString& name) {
        Flush();
        const QString path = QDir(out_).filePath(name + ".png");
        const QPixmap shot = window_->grab();
        EXPECT_FALSE(shot.isNull());
        EXPECT_TRUE(shot.save(path)) << path.toStdString();
        ++saved_;
    }

    // Shows a page as an operator reaches it, then selects a node of its tree, if given.
    void Show(PageId id, QTreeWidget* tree = nullptr, const QString& node = {}) {
        ShowPage(id);
        if (tree != nullptr && !node.isEmpty()) {
            ClickItem(tree, ChildByText(tree, node));
        }
    }

    QString out_;
    int saved_ = 0;
};

// The statistics page with a work and a meter shown, its archive chart, and the periodic
// removal page with works found in two mirrors.
TEST_F(RenderPages, ResultsPages) {
    PrepareDatabase({});
    {
        storage::TSQLiteDatabase db((dir_ / "ZarnicBox.db").string());
        zb::testing::ResultsRows rows(db);
        for (const char* id : {"00A1", "00B2"}) {
            rows.AddCtr(id, "ТП-5");
            link::CreateMirrorFolders(dir_.path(), id);
        }
        std::string mpList;
        for (int i = 1; i <= 6; ++i) {
            rows.AddPoint(1, "0000010" + std::to_string(i), "Кв. " + std::to_string(i));
            mpList += std::to_string(i) + "\r\n";
        }
        rows.AddWorkLib("Профиль нагрузки");
        rows.AddWorkLib("Показания за сутки");
        rows.AddTask(1, "ZARNIC.0000.Energy");
        rows.AddTask(1, "ZARNIC.0000.EnergyArchive");
        const int64_t now = storage::LocalTimeStampOf(base::LocalNow());
        rows.AddWork(now, mpList, 2, 6, "Профиль нагрузки", 1, "w-1.xml", 1);
        // Yesterday's load profile, every two hours.
        const int64_t day = now - now % 86400 - 86400;
        const char* profile[12] = {"2.1", "1.6", "1.5", "3.2", "5.1", "3.9",
                                   "4.3", "3.8", "4.6", "7.4", "7.1", "4.0"};
        std::string times, values;
        for (int h = 0; h < 12; ++h) {
            times += std::to_string(day + h * 7200) + "\r\n";
            values += std::string(profile[h]) + "\r\n";
        }
        for (int point = 1; point <= 4; ++point) {
            const std::string addr = "0000010" + std::to_string(point);
            rows.AddAnswer(1, 1, point, "DONE", "12345." + std::to_string(point) + " кВт*ч", "R",
                           "", now, addr);
            rows.AddAnswer(1, 2, point, point == 3 ? "TIMEOUT" : "DONE", values, "AR", times, now,
                           addr);
        }
        for (const auto& [id, file] : {std::pair{"00A1", "w-00000000000000A1.xml"},
                                       std::pair{"00B2", "w-00000000000000B2.xml"}}) {
            rows.AddWork(0, "", -1, 1, "Показания за сутки", 1, file, 2);
            zb::testing::WriteFile(link::MirrorDir(dir_.path(), id) / "ROOT/WORK/PERIODIC" / file,
                                   "<root/>");
        }
    }
    StartWindow();
    LoginAs("KREMU", "KREMU");
    Show(PageId::Stat);
    auto* stat = static_cast<app::StatPage*>(window_->PageOf(PageId::Stat));
    stat->worksGrid()->selectRow(0);
    stat->ShowWork();
    stat->list(0)->setCurrentRow(0);
    stat->ShowMeter(0);
    Save("25_statistics_work");
    stat->resultTabs()->setCurrentIndex(1);
    Save("26_statistics_chart");
    Show(PageId::Delete);
    auto* removal = static_cast<app::PeriodicPage*>(window_->PageOf(PageId::Delete));
    removal->worksList()->item(0)->setSelected(true);
    removal->WorksClicked();
    window_->StatusTick();
    Save("27_periodic_delete_works");
    EXPECT_EQ(saved_, 3);
    EXPECT_TRUE(messages_->errors().empty());
}

}  // namespace
}  // namespace zb::apptest
