// Renders every page of the window into <build>/pages/*.png, with some rows in the registers,
// so that the whole window can be looked at at once.
#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QPainter>
#include <QPixmap>
#include <QTest>

#include "app/concentrators_page.h"
#include "app/contracts_page.h"
#include "app/family_page.h"
#include "app/measuring_points_page.h"
#include "app/operators_page.h"
#include "app/periodic_page.h"
#include "app/stat_page.h"
#include "app/work_dispatch_page.h"
#include "app/work_library_page.h"
#include "app/xml_window.h"
#include "base/log.h"
#include "link/link_server.h"
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

    // The window, with an open pop-up list drawn where it lies on the screen.
    void Save(const QString& name, QWidget* popup = nullptr) {
        Flush();
        const QString path = QDir(out_).filePath(name + ".png");
        QPixmap shot = window_->grab();
        if (popup != nullptr) {
            QPainter painter(&shot);
            painter.drawPixmap(popup->mapToGlobal(QPoint()) - window_->mapToGlobal(QPoint()),
                               popup->grab());
        }
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

    QTreeWidget* TreeOf(PageId id) const {
        return static_cast<app::FamilyPage*>(window_->page(id))->frame()->tree;
    }

    void RenderMeasuringPoints();

    QString out_;
    int saved_ = 0;
};

// The register with concentrator 00A1 chosen, one meter's three tabs, and the chooser open.
void RenderPages::RenderMeasuringPoints() {
    const std::string basic =
        "0000.interface=RS-485\r\n0000.syntax=ZARNIC\r\n0000.SerialNumber=10042\r\n"
        "0000.ProjectID=00000012\r\n0000.ProfileID=00000003\r\n"
        "0000.FirmwareVersion=2.4.1\r\nДанные получены=05.12.2026 14:03:09\r\n";
    const std::string arch =
        "0001.EnergyImport=I 30 мин, 4096 записей (00010100)\r\n"
        "0001.EnergyExport=D 1 сут, 365 записей (00060200)\r\n"
        "Данные получены=05.12.2026 14:03:09\r\n";
    auto& db = storage::Database();
    const char* points[][5] = {{"0000A101", "10042", "ZARNIC", "Ввод 1", "1"},
                               {"0000A102", "10043", "ZARNIC", "Ввод 2", "2"},
                               {"0000A103", "7781", "M-230", "", "0"},
                               {"0000A104", "7790", "M-200", "Уличное освещение", "1"}};
    for (const auto& p : points) {
        db.ExecuteSql(
            "INSERT into MeasuringPoint (CtrUID,MeterADDR,MeterSN,Syntax,Name,MeterLocation,"
            "AccountUID,EProviderUID,CustomGroupUID,BalanceUID,BalanceRole,MeterInfoBasic,"
            "MeterInfoArch) values('1'," +
            SqlText(p[0]) + "," + SqlText(p[1]) + "," + SqlText(p[2]) + "," + SqlText(p[3]) + "," +
            SqlText("ТП-5, щит 2") + ",'1','1'," + SqlText(p[4]) + ",'1','S'," + SqlText(basic) +
            "," + SqlText(arch) + ")");
    }
    zb::testing::WriteFile(
        dir_.path() / "CTR/CTR_00A1/ROOT/INFO/PROFILES/profile-00000012-00000003.xml",
        "<profile><var Name=\"0000.SerialNumber\"/><var Name=\"0000.LocalTime\"/>"
        "<var VID=\"01000100\"/><var VID=\"06000100\"/><var Name=\"0000.ReadRegister\"/>"
        "<var Name=\"0000.ArchiveSlice\"/></profile>");
    Show(PageId::MeasuringPoints);
    auto* page = window_->measuringPointsPage();
    ClickItem(page->frame()->tree, ChildByText(page->frame()->tree, "00A1 [ТП-5, ввод 1]"));
    Save("13_measuring_points");
    QTableWidget* grid = page->grid();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualItemRect(grid->item(1, 3)).center());
    for (int tab = 0; tab < 3; ++tab) {
        page->attributes()->setCurrentIndex(tab);
        Save(QString("13%1_measuring_points_meter").arg(QChar('a' + tab)));
    }
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualItemRect(grid->item(2, 7)).center());
    page->chooser()->showPopup();
    Save("13d_measuring_points_chooser", page->chooser()->view()->window());
    page->chooser()->hidePopup();
}

TEST_F(RenderPages, EveryPage) {
    PrepareDatabase({
        "INSERT into Operator (Name,Login,Password,XML) values(" + SqlText("Иван Петров") +
            ",'IVAN','PW','')",
        "INSERT into Customer (Name,TypeCode,StreetAddress,INN) values(" +
            SqlText("ООО \"Энергосбыт\"") + ",'1'," + SqlText("г. Москва, ул. Ленина, 1") +
            ",'7701234567')",
        "INSERT into Customer (Name,TypeCode,StreetAddress,INN) values(" + SqlText("Сидоров А.В.") +
            ",'0'," + SqlText("ул. Садовая, 5, кв. 12") + ",'')",
        "INSERT into Contract (CustomerUID,Name) values('1','Д-15/2024')",
        "INSERT into Contract (CustomerUID,Name) values('1','Д-16/2024')",
        "INSERT into Account (CustomerUID,ContractUID,Name) values('1','1','ЛС-000123')",
        "INSERT into CustomGroup (Name) values(" + SqlText("Бытовые потребители") + ")",
        "INSERT into CustomGroup (Name) values(" + SqlText("Промышленность") + ")",
        "INSERT into Balance (Name) values(" + SqlText("Фидер 10 кВ №3") + ")",
        "INSERT into EProvider (Name,INN) values(" + SqlText("ПАО \"Гарант-Энерго\"") +
            ",'7700000001')",
    });
    CopyShippedCatalogue();
    StartWindow();
    window_->loginEdit()->setText("KREMU");
    window_->passwordEdit()->setText("KREMU");
    Save("00_login");
    LoginAs("KREMU", "KREMU");
    for (int i = 0; i < 5; ++i) {
        base::LogLine("CtrID = 00A" + std::to_string(i) + " <--> HANDSHAKE OK, IP = 127.0.0.1");
    }
    window_->StatusTick();
    Save("01_main");
    const std::pair<PageId, const char*> linkPages[] = {
        {PageId::Work, "02_work"},       {PageId::Library, "03_library"},
        {PageId::UpLoad, "04_upload"},   {PageId::Delete, "05_periodic_delete"},
        {PageId::Stat, "06_statistics"}, {PageId::Data, "07_data"},
        {PageId::Admin, "08_admin"}};
    for (const auto& [id, name] : linkPages) {
        Show(id);
        Save(name);
    }

    Show(PageId::Operators);
    Save("09_operators_prompt");
    Show(PageId::Operators, window_->operatorsPage()->frame()->tree, "Иван Петров");
    Save("10_operators");

    Show(PageId::Ctr);
    auto* ctr = window_->ctrPage();
    Click(ctr->frame()->addButton);
    ctr->idEdit()->setText("00A1");
    ctr->commentEdit()->setText("ТП-5, ввод 1");
    Click(ctr->frame()->saveButton);
    storage::Database().ExecuteSql(
        "UPDATE CTR set InfoBasic=" +
        SqlText("SerialNumber=10042\r\nFirmware=3.1.7\r\nMeters=24\r\nUptime=12 d") +
        ", Profile=" + SqlText("Meter=M-230\r\nMeter=ZARNIC\r\nModem=GSM"));
    Show(PageId::Ctr, ctr->frame()->tree, "00A1 [ТП-5, ввод 1]");
    Save("11_concentrators");
    Click(ctr->frame()->cancelButton);
    Click(ctr->frame()->addButton);
    Save("12_concentrators_add");

    RenderMeasuringPoints();
    Show(PageId::Customers, TreeOf(PageId::Customers), "ООО \"Энергосбыт\"");
    Save("14_customers");
    auto* contracts = static_cast<app::ContractsPage*>(window_->page(PageId::Contracts));
    Show(PageId::Contracts, contracts->customerTree(), "ООО \"Энергосбыт\"");
    Save("15_contracts");
    Show(PageId::Accounts, Find<QTreeWidget>("TreeViewAdminAccount"), "ЛС-000123");
    Save("16_accounts");
    const std::tuple<PageId, const char*, const char*> familyPages[] = {
        {PageId::Balance, "Фидер 10 кВ №3", "17_balance_groups"},
        {PageId::Categories, "Бытовые потребители", "18_categories"},
        {PageId::Providers, "ПАО \"Гарант-Энерго\"", "19_providers"}};
    for (const auto& [id, node, name] : familyPages) {
        Show(id, TreeOf(id), node);
        Save(name);
    }
    Click(window_->trail()->LabelAt(0));
    window_->NavigateTo(window_->page(PageId::Log));
    Save("20_log");

    // The network state: 00A1 connected now, 00A2 seen and gone, 00A3 never seen.
    storage::Database().ExecuteSql("INSERT into CTR (ID,Comment,XML) values('00A2'," +
                                   SqlText("ТП-7") + ",'')");
    storage::Database().ExecuteSql("INSERT into CTR (ID,Comment,XML) values('00A3','','')");
    auto& sessions = runtime_->Link()->Shared().sessionFigures;
    const auto gone = sessions.Begin("00A2", "10.20.0.7");
    sessions.FileReceived(gone, true);
    sessions.FileSent(gone);
    sessions.End(gone);
    sessions.FileReceived(sessions.Begin("00A1", "10.20.0.5"), false);
    Show(PageId::Network);
    window_->StatusTick();
    Save("30_network");
    Show(PageId::Ctr);
    window_->StatusTick();
    Save("31_concentrators_connected");

    EXPECT_EQ(saved_, 27);
    EXPECT_TRUE(messages_->errors().empty());
    EXPECT_TRUE(messages_->warnings().empty());
}

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
    auto* stat = static_cast<app::StatPage*>(window_->page(PageId::Stat));
    stat->worksGrid()->selectRow(0);
    stat->ShowWork();
    stat->list(0)->setCurrentRow(0);
    stat->ShowMeter(0);
    Save("25_statistics_work");
    stat->resultTabs()->setCurrentIndex(1);
    Save("26_statistics_chart");
    Show(PageId::Delete);
    auto* removal = static_cast<app::PeriodicPage*>(window_->page(PageId::Delete));
    removal->worksList()->item(0)->setSelected(true);
    removal->WorksClicked();
    window_->StatusTick();
    Save("27_periodic_delete_works");
    EXPECT_EQ(saved_, 3);
    EXPECT_TRUE(messages_->errors().empty());
}

TEST_F(RenderPages, WorkPages) {
    for (const char* folder : {"XML.ZARNIC", "DLL"}) {
        std::filesystem::copy(testing::BuiltProgramDir() / folder, dir_.path() / folder,
                              std::filesystem::copy_options::recursive);
    }
    bool created = false;
    storage::SetDatabase(
        storage::OpenProgramDatabase((dir_.path() / "ZarnicBox.db").string(), created));
    {
        auto& db = storage::Database();
        for (const char* id : {"00A1", "00B2", "00C3"}) {
            const int64_t ctr = db.InsertSql("INSERT into CTR (ID,Comment) values(" + SqlText(id) +
                                             "," + SqlText("ТП-5") + ")");
            for (const char* addr : {"0A1B2C3D", "0A1B2C3E", "0A1B2C3F"}) {
                db.ExecuteSql("INSERT into MeasuringPoint (MeterADDR,Syntax,CtrUID) values(" +
                              SqlText(addr) + "," + SqlText("ZARNIC") + "," + storage::SqlInt(ctr) +
                              ")");
            }
        }
        const int64_t work =
            work::InsertWork(db, work::WorkRow({"Суточные показания", true, "1 DAY", "2 HOUR"}));
        work::InsertTask(
            db, work,
            work::TaskRow({.var = "0001.EnergyImport", .opCode = "AR", .arcInterval = "30 MIN"}));
        work::InsertTask(db, work, work::TaskRow({.var = "0001.VoltageL1"}));
        work::InsertTask(db, work,
                         work::TaskRow({.syntax = "M-230", .var = "P1", .value = "0811"}));
        work::InsertWork(db, work::WorkRow({"Однократное чтение"}));
    }
    storage::SetDatabase(nullptr);
    StartWindow();
    LoginAs("KREMU", "KREMU");
    Show(PageId::Library);
    auto* tree = Find<QTreeWidget>("TreeViewWorkLib");
    ClickItem(tree, ChildByText(tree, "Суточные показания [1 DAY]"));
    Save("21_library_work");
    ClickItem(tree, ChildByText(tree, "Суточные показания [1 DAY]")->child(0));
    Save("22_library_request");
    Show(PageId::UpLoad);
    auto* dispatch = Find<QTreeWidget>("TreeViewWork");
    ClickItem(dispatch, ChildByText(dispatch, "Суточные показания [1 DAY]"));
    Find<QListWidget>("ListBoxWorkCtr")->item(1)->setSelected(true);
    Save("23_upload");
    app::TFormMemoXML xml;
    xml.SetXml("XML",
               QString::fromStdString(*work::PreviewWorkFile(
                   storage::Database(),
                   static_cast<app::WorkDispatchPage*>(window_->page(PageId::UpLoad))->Choice())));
    xml.show();
    Flush();
    EXPECT_TRUE(xml.grab().save(QDir(out_).filePath("24_xml_window.png")));
    xml.hide();
    EXPECT_TRUE(messages_->errors().empty());
}

}  // namespace
}  // namespace zb::apptest
