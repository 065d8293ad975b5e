// render-pages: renders every page of the operator window into PNG files, with some rows in the
// registers, so that the whole window can be looked at at once.
//
//   render-pages OUTDIR      (runs on the offscreen platform; ./test.sh writes <build>/pages)
//
// The window runs for real over a fresh program directory in /tmp for each session. To show a
// new page, add a shot to a session in Sessions() below: a file name and what to do before the
// picture is taken (and, for a window of its own, which widget to take).
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/run_window.h"
#include "app/work_dispatch_page.h"
#include "app/xml_window.h"
#include "base/clock.h"
#include "base/log.h"
#include "base/operator_messages.h"
#include "base/program.h"
#include "link/link_server.h"
#include "link/mirror.h"
#include "server/runtime.h"
#include "storage/schema.h"
#include "storage/sqlite_database.h"
#include "storage/stored_text.h"
#include "storage/time_stamp.h"
#include "work/dispatch.h"
#include "work/work_library.h"

namespace {

using zb::app::MainWindow;
using zb::app::PageId;
using zb::storage::SqlText;

// Messages are printed and counted instead of shown: a render with a message fails.
class PrintedMessages : public zb::base::OperatorMessages {
  public:
    void Warning(const std::string& text) override { Print("warning", text); }
    void Error(const std::string& text) override { Print("error", text); }
    bool Confirm(const std::string& text) override {
        Print("question", text);
        return true;
    }
    int count = 0;

  private:
    void Print(const char* kind, const std::string& text) {
        std::cerr << kind << ": " << text << std::endl;
        ++count;
    }
};

// Driving the window as an operator does.
struct Driver {
    MainWindow& window;
    zb::server::Runtime& runtime;

    template <class T = QWidget>
    T* Find(const char* name) const {
        T* found = window.findChild<T*>(name);
        if (found == nullptr) {
            std::cerr << "no widget " << name << std::endl;
            std::exit(1);
        }
        return found;
    }
    void Click(const char* name) const { QTest::mouseClick(Find(name), Qt::LeftButton); }
    void Type(const char* name, const QString& text) const { Find<QLineEdit>(name)->setText(text); }
    // Clicks a cell of a grid or a row of a list.
    void ClickCell(const char* name, int row, int column = 0) const {
        auto* view = Find<QAbstractItemView>(name);
        const QModelIndex cell = view->model()->index(row, column);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(cell).center());
    }
    // Back to the main page, then along the links to the page.
    void Show(PageId id) const {
        QTest::mouseClick(window.Trail()->LabelAt(0), Qt::LeftButton);
        if (id == PageId::Library || id == PageId::UpLoad || id == PageId::Delete ||
            id == PageId::Stat) {
            window.FollowLink(PageId::Work);
        } else if (id > PageId::Stat && id != PageId::Log) {
            window.FollowLink(PageId::Admin);
        }
        if (id != PageId::Main) {
            window.FollowLink(id);
        }
    }
    // Shows the page and selects the node with that text of its tree (of its first one when no
    // name is given).
    void ShowNode(PageId id, const QString& node, const char* treeName = nullptr) const {
        Show(id);
        auto* tree = treeName != nullptr ? Find<QTreeWidget>(treeName)
                                         : window.PageOf(id)->findChild<QTreeWidget*>();
        const auto found = tree->findItems(node, Qt::MatchExactly | Qt::MatchRecursive);
        if (found.isEmpty()) {
            std::cerr << "no node " << node.toStdString() << std::endl;
            std::exit(1);
        }
        tree->scrollToItem(found.first());
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                          tree->visualItemRect(found.first()).center());
    }
};

struct Shot {
    const char* name;
    std::function<void(const Driver&)> before;
    // The widget to take (the main window when empty).
    std::function<QWidget*(const Driver&)> subject = {};
};

// A program directory of its own: its rows, and the shots taken over it in order.
struct Session {
    std::function<void(zb::storage::TSQLiteDatabase&)> rows;
    std::vector<Shot> shots;
    // Copies the built catalogue and plug-ins into the directory (pages that show variables).
    bool catalogue = false;
};

void RegisterRows(zb::storage::TSQLiteDatabase& db) {
    const std::string rows[] = {
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
    };
    for (const auto& sql : rows) {
        db.ExecuteSql(sql);
    }
}

void LogIn(const Driver& d) {
    d.Type("EditLogin", "KREMU");
    d.Type("EditPassword", "KREMU");
    d.Click("ButtonLoginOK");
}

// Four meters of 00A1 bound to the register's rows, with basic and archive information and the
// profile file their basic information names.
void AddMeters() {
    const std::string basic =
        "0000.interface=RS-485\r\n0000.syntax=ZARNIC\r\n0000.SerialNumber=10042\r\n"
        "0000.ProjectID=00000012\r\n0000.ProfileID=00000003\r\n"
        "0000.FirmwareVersion=2.4.1\r\nДанные получены=05.12.2026 14:03:09\r\n";
    const std::string arch =
        "0001.EnergyImport=I 30 мин, 4096 записей (00010100)\r\n"
        "0001.EnergyExport=D 1 сут, 365 записей (00060200)\r\n"
        "Данные получены=05.12.2026 14:03:09\r\n";
    const char* points[][5] = {{"0000A101", "10042", "ZARNIC", "Ввод 1", "1"},
                               {"0000A102", "10043", "ZARNIC", "Ввод 2", "2"},
                               {"0000A103", "7781", "M-230", "", "0"},
                               {"0000A104", "7790", "M-200", "Уличное освещение", "1"}};
    for (const auto& p : points) {
        zb::storage::Database().ExecuteSql(
            "INSERT into MeasuringPoint (CtrUID,MeterADDR,MeterSN,Syntax,Name,MeterLocation,"
            "AccountUID,EProviderUID,CustomGroupUID,BalanceUID,BalanceRole,MeterInfoBasic,"
            "MeterInfoArch) values('1'," +
            SqlText(p[0]) + "," + SqlText(p[1]) + "," + SqlText(p[2]) + "," + SqlText(p[3]) + "," +
            SqlText("ТП-5, щит 2") + ",'1','1'," + SqlText(p[4]) + ",'1','S'," + SqlText(basic) +
            "," + SqlText(arch) + ")");
    }
    std::ofstream(zb::base::Program().programDir /
                  "CTR/CTR_00A1/ROOT/INFO/PROFILES/profile-00000012-00000003.xml")
        << "<profile><var Name=\"0000.SerialNumber\"/><var Name=\"0000.LocalTime\"/>"
           "<var VID=\"01000100\"/><var VID=\"06000100\"/><var Name=\"0000.ReadRegister\"/>"
           "<var Name=\"0000.ArchiveSlice\"/></profile>";
}

// A meter of the register chosen, with one of its three tabs in front.
void ShowMeterTab(const Driver& d, int tab) {
    d.ClickCell("StringGridAdminMeter", 1, 3);
    d.Find<QTabWidget>("PageControlAdminMeterAttr")->setCurrentIndex(tab);
}

std::vector<Shot> RegisterShots() {
    const auto show = [](PageId id) { return [id](const Driver& d) { d.Show(id); }; };
    return {
        {"00_login",
         [](const Driver& d) {
             d.Type("EditLogin", "KREMU");
             d.Type("EditPassword", "KREMU");
         }},
        {"01_main",
         [](const Driver& d) {
             LogIn(d);
             for (int i = 0; i < 5; ++i) {
                 zb::base::LogLine("CtrID = 00A" + std::to_string(i) +
                                   " <--> HANDSHAKE OK, IP = 127.0.0.1");
             }
             d.window.StatusTick();
         }},
        {"02_work", show(PageId::Work)},
        {"03_library", show(PageId::Library)},
        {"04_upload", show(PageId::UpLoad)},
        {"05_periodic_delete", show(PageId::Delete)},
        {"06_statistics", show(PageId::Stat)},
        {"07_data", show(PageId::Data)},
        {"08_admin", show(PageId::Admin)},
        {"09_operators_prompt", show(PageId::Operators)},
        {"10_operators", [](const Driver& d) { d.ShowNode(PageId::Operators, "Иван Петров"); }},
        {"11_concentrators",
         [](const Driver& d) {
             d.Show(PageId::Ctr);
             d.Click("ToolButtonAdminCtrAdd");
             d.Type("LabeledEditAdminCtrID", "00A1");
             d.Type("LabeledEditAdminCtrComment", "ТП-5, ввод 1");
             d.Click("ButtonAdminCtrSave");
             zb::storage::Database().ExecuteSql(
                 "UPDATE CTR set InfoBasic=" +
                 SqlText("SerialNumber=10042\r\nFirmware=3.1.7\r\nMeters=24\r\nUptime=12 d") +
                 ", Profile=" + SqlText("Meter=M-230\r\nMeter=ZARNIC\r\nModem=GSM"));
             d.ShowNode(PageId::Ctr, "00A1 [ТП-5, ввод 1]");
         }},
        {"12_concentrators_add",
         [](const Driver& d) {
             d.Click("ButtonAdminCtrCancel");
             d.Click("ToolButtonAdminCtrAdd");
         }},
        {"13_measuring_points",
         [](const Driver& d) {
             AddMeters();
             d.ShowNode(PageId::MeasuringPoints, "00A1 [ТП-5, ввод 1]");
         }},
        {"13a_measuring_points_meter", [](const Driver& d) { ShowMeterTab(d, 0); }},
        {"13b_measuring_points_meter", [](const Driver& d) { ShowMeterTab(d, 1); }},
        {"13c_measuring_points_meter", [](const Driver& d) { ShowMeterTab(d, 2); }},
        {"13d_measuring_points_chooser",
         [](const Driver& d) {
             d.ClickCell("StringGridAdminMeter", 2, 7);
             d.Find<QComboBox>("ComboBoxAdminMeter")->showPopup();
         },
         [](const Driver& d) -> QWidget* {
             return d.Find<QComboBox>("ComboBoxAdminMeter")->view()->window();
         }},
        {"14_customers",
         [](const Driver& d) { d.ShowNode(PageId::Customers, "ООО \"Энергосбыт\""); }},
        {"15_contracts",
         [](const Driver& d) {
             d.ShowNode(PageId::Contracts, "ООО \"Энергосбыт\"", "TreeViewAdminContractCustomer");
         }},
        {"16_accounts", [](const Driver& d) { d.ShowNode(PageId::Accounts, "ЛС-000123"); }},
        {"17_balance_groups",
         [](const Driver& d) { d.ShowNode(PageId::Balance, "Фидер 10 кВ №3"); }},
        {"18_categories",
         [](const Driver& d) { d.ShowNode(PageId::Categories, "Бытовые потребители"); }},
        {"19_providers",
         [](const Driver& d) { d.ShowNode(PageId::Providers, "ПАО \"Гарант-Энерго\""); }},
        {"20_log",
         [](const Driver& d) {
             d.Find<QComboBox>("ComboBoxAdminMeter")->hidePopup();
             d.Show(PageId::Main);
             d.window.NavigateTo(d.window.PageOf(PageId::Log));
         }},
        // The network state: 00A1 connected now, 00A2 seen and gone, 00A3 never seen.
        {"30_network",
         [](const Driver& d) {
             auto& db = zb::storage::Database();
             db.ExecuteSql("INSERT into CTR (ID,Comment,XML) values('00A2'," + SqlText("ТП-7") +
                           ",'')");
             db.ExecuteSql("INSERT into CTR (ID,Comment,XML) values('00A3','','')");
             auto& sessions = d.runtime.Link()->SessionFigures();
             const auto gone = sessions.Begin("00A2", "10.20.0.7");
             sessions.FileReceived(gone, true);
             sessions.FileSent(gone);
             sessions.End(gone);
             sessions.FileReceived(sessions.Begin("00A1", "10.20.0.5"), false);
             d.Show(PageId::Network);
             d.window.StatusTick();
         }},
        {"31_concentrators_connected",
         [](const Driver& d) {
             d.Show(PageId::Ctr);
             d.window.StatusTick();
         }},
    };
}

// Three concentrators with three meters each, a periodic work of three requests and a single
// one: the works pages.
void WorkRows(zb::storage::TSQLiteDatabase& db) {
    for (const char* id : {"00A1", "00B2", "00C3"}) {
        const int64_t ctr = db.InsertSql("INSERT into CTR (ID,Comment) values(" + SqlText(id) +
                                         "," + SqlText("ТП-5") + ")");
        for (const char* addr : {"0A1B2C3D", "0A1B2C3E", "0A1B2C3F"}) {
            db.ExecuteSql("INSERT into MeasuringPoint (MeterADDR,Syntax,CtrUID) values(" +
                          SqlText(addr) + "," + SqlText("ZARNIC") + "," + zb::storage::SqlInt(ctr) +
                          ")");
        }
    }
    namespace work = zb::work;
    const int64_t daily =
        work::InsertWork(db, work::WorkRow({"Суточные показания", true, "1 DAY", "2 HOUR"}));
    work::InsertTask(
        db, daily,
        work::TaskRow({.var = "0001.EnergyImport", .opCode = "AR", .arcInterval = "30 MIN"}));
    work::InsertTask(db, daily, work::TaskRow({.var = "0001.VoltageL1"}));
    work::InsertTask(db, daily, work::TaskRow({.syntax = "M-230", .var = "P1", .value = "0811"}));
    work::InsertWork(db, work::WorkRow({"Однократное чтение"}));
}

std::vector<Shot> WorkShots() {
    const QString daily = "Суточные показания [1 DAY]";
    return {
        {"21_library_work",
         [daily](const Driver& d) {
             LogIn(d);
             d.ShowNode(PageId::Library, daily, "TreeViewWorkLib");
         }},
        {"22_library_request",
         [daily](const Driver& d) {
             auto* tree = d.Find<QTreeWidget>("TreeViewWorkLib");
             auto* request =
                 tree->findItems(daily, Qt::MatchExactly | Qt::MatchRecursive).first()->child(0);
             QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                               tree->visualItemRect(request).center());
         }},
        {"23_upload",
         [daily](const Driver& d) {
             d.ShowNode(PageId::UpLoad, daily, "TreeViewWork");
             d.Find<QListWidget>("ListBoxWorkCtr")->item(1)->setSelected(true);
         }},
        {"24_xml_window", [](const Driver&) {},
         [](const Driver& d) -> QWidget* {
             auto* page = static_cast<zb::app::WorkDispatchPage*>(d.window.PageOf(PageId::UpLoad));
             // Owned by the window, so it goes with it.
             auto* xml = new zb::app::TFormMemoXML(&d.window);
             xml->SetXml("XML", QString::fromStdString(*zb::work::PreviewWorkFile(
                                    zb::storage::Database(), page->Choice())));
             xml->show();
             QApplication::processEvents();
             return xml;
         }},
    };
}

// Two concentrators; a single work of two requests sent to six meters of 00A1 (four answered,
// one of them with a failed archive read, two silent), with yesterday's load profile; and a
// periodic work whose files lie in the mirrors of both concentrators: the results pages.
void ResultsRows(zb::storage::TSQLiteDatabase& db) {
    using zb::storage::SqlInt;
    for (const char* id : {"00A1", "00B2"}) {
        db.ExecuteSql("INSERT into CTR (ID,Comment) values(" + SqlText(id) + "," + SqlText("ТП-5") +
                      ")");
        zb::link::CreateMirrorFolders(zb::base::Program().programDir, id);
    }
    std::string mpList;
    for (int point = 1; point <= 6; ++point) {
        db.ExecuteSql("INSERT into MeasuringPoint (CtrUID,MeterADDR,Name) values('1'," +
                      SqlText("0000010" + std::to_string(point)) + "," +
                      SqlText("Кв. " + std::to_string(point)) + ")");
        mpList += std::to_string(point) + "\r\n";
    }
    db.ExecuteSql("UPDATE MeasuringPoint set MeterInfoBasic=" +
                  SqlText("0000.SerialNumber=10042\r\n0000.FirmwareVersion=2.4.1\r\n"
                          "Данные получены=05.12.2026 14:03:09\r\n") +
                  ", MeterInfoArch=" +
                  SqlText("0001.EnergyImport=I 2 ч, 4096 записей (00010100)\r\n") + " WHERE UID=1");
    namespace work = zb::work;
    const int64_t profile = work::InsertWork(db, work::WorkRow({"Профиль нагрузки"}));
    const int64_t reading = work::InsertTask(db, profile, work::TaskRow({.var = "0000.Energy"}));
    const int64_t archive = work::InsertTask(
        db, profile,
        work::TaskRow({.var = "0001.EnergyImport", .opCode = "AR", .arcInterval = "2 HOUR"}));
    const int64_t daily =
        work::InsertWork(db, work::WorkRow({"Показания за сутки", true, "1 DAY", "2 HOUR"}));
    const auto addWork = [&](int64_t stamp, const std::string& list, int64_t tasks, int64_t meters,
                             const std::string& file, int64_t libraryWork) {
        return db.InsertSql(
            "INSERT into Work (FileName,OperatorUID,MeterTotal,TaskCount,MPList,LocalTimeStamp,"
            "XML,WorkLibUID) values(" +
            SqlText(file) + ",'1'," + SqlInt(meters) + "," + SqlInt(tasks) + "," + SqlText(list) +
            "," + SqlInt(stamp) + "," + SqlText(*work::ReadWorkXmlText(db, libraryWork)) + "," +
            SqlInt(libraryWork) + ")");
    };
    const int64_t now = zb::storage::LocalTimeStampOf(zb::base::LocalNow());
    const int64_t sent = addWork(now, mpList, 2, 6, "w-0000000000000001.xml", profile);

    // Yesterday's load profile, every two hours.
    const int64_t day = now - now % 86400 - 86400;
    const char* loads[12] = {"2.1", "1.6", "1.5", "3.2", "5.1", "3.9",
                             "4.3", "3.8", "4.6", "7.4", "7.1", "4.0"};
    std::string times, values;
    for (int h = 0; h < 12; ++h) {
        times += std::to_string(day + h * 7200) + "\r\n";
        values += std::string(loads[h]) + "\r\n";
    }
    const auto answer = [&](int64_t task, int point, const char* var, const char* opCode,
                            const char* result, const std::string& value, const std::string& time) {
        db.ExecuteSql(
            "INSERT into BigData (WorkUID,TaskUID,DataVendorUID,DataVendorEntity,MeterADDR,VarName,"
            "OpCode,Result,LocalTime,MasterClock,Value,LocalTimeStamp) values(" +
            SqlInt(sent) + "," + SqlInt(task) + "," + SqlInt(point) + ",'MP'," +
            SqlText("0000010" + std::to_string(point)) + "," + SqlText(var) + "," +
            SqlText(opCode) + "," + SqlText(result) + "," + SqlText(time) + ",''," +
            SqlText(value) + "," + SqlInt(now) + ")");
    };
    for (int point = 1; point <= 4; ++point) {
        answer(reading, point, "0000.Energy", "R", "DONE",
               "12345." + std::to_string(point) + " кВт*ч", "");
        answer(archive, point, "0001.EnergyImport", "AR", point == 3 ? "TIMEOUT" : "DONE", values,
               times);
    }
    for (const char* id : {"00A1", "00B2"}) {
        const std::string file = std::string("w-00000000000000") + id + ".xml";
        addWork(0, "", -1, 1, file, daily);
        std::ofstream(zb::link::MirrorDir(zb::base::Program().programDir, id) /
                      "ROOT/WORK/PERIODIC" / file)
            << "<root/>";
    }
}

std::vector<Shot> ResultsShots() {
    return {
        {"25_statistics_work",
         [](const Driver& d) {
             LogIn(d);
             d.Show(PageId::Stat);
             d.ClickCell("StringGridWorkStat", 0, 1);
             d.Click("ButtonWorkStatShow");
             d.ClickCell("ListBoxWorkStatDONE", 0);
         }},
        {"26_statistics_chart",
         [](const Driver& d) {
             d.Find<QTabWidget>("PageControlWorkStatResult")->setCurrentIndex(1);
         }},
        {"27_periodic_delete_works",
         [](const Driver& d) {
             d.Show(PageId::Delete);
             d.ClickCell("ListBoxWorkDelete", 0);
             d.window.StatusTick();
         }},
    };
}

std::vector<Session> Sessions() {
    return {{RegisterRows, RegisterShots(), true},
            {WorkRows, WorkShots(), true},
            {ResultsRows, ResultsShots()}};
}

// Renders one session; returns the number of pictures written, -1 on a failure.
int RenderSession(const Session& session, const QString& out) {
    char dirTemplate[] = "/tmp/zb-render-XXXXXX";
    const std::filesystem::path programDir = ::mkdtemp(dirTemplate);
    zb::server::PrepareProgram(programDir);
    if (session.catalogue) {
        for (const char* folder : {"XML.ZARNIC", "XML.ZarnicMaster", "DLL"}) {
            std::filesystem::copy(std::filesystem::path(ZB_BUILD_PROGRAM_DIR) / folder,
                                  programDir / folder, std::filesystem::copy_options::recursive);
        }
    }
    {
        bool created = false;
        auto db = zb::storage::OpenProgramDatabase((programDir / "ZarnicBox.db").string(), created);
        session.rows(*db);
    }
    int saved = 0;
    {
        zb::server::Runtime runtime({programDir, 0});
        MainWindow window(runtime);
        if (!window.Start()) {
            return -1;
        }
        window.show();
        const Driver driver{window, runtime};
        for (const Shot& shot : session.shots) {
            shot.before(driver);
            QApplication::processEvents();
            QWidget* subject = shot.subject ? shot.subject(driver) : &window;
            const QString path = QDir(out).filePath(QString(shot.name) + ".png");
            if (!subject->grab().save(path)) {
                std::cerr << "cannot write " << path.toStdString() << std::endl;
                return -1;
            }
            ++saved;
        }
        window.Detach();
    }
    zb::storage::SetDatabase(nullptr);
    std::filesystem::remove_all(programDir);
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: render-pages OUTDIR" << std::endl;
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    zb::app::ApplyLook();
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);

    auto messages = std::make_shared<PrintedMessages>();
    zb::base::SetMessages(messages);
    int saved = 0;
    for (const Session& session : Sessions()) {
        const int count = RenderSession(session, out);
        if (count < 0) {
            return 1;
        }
        saved += count;
    }
    zb::base::SetMessages(nullptr);
    std::cout << saved << " pages rendered into " << out.toStdString() << std::endl;
    return messages->count == 0 ? 0 : 1;
}
