// Renders every page of the window into <build>/pages/*.png, with some rows in the registers,
// so that the whole window can be looked at at once.
#include <QDir>
#include <QPixmap>

#include "base/log.h"
#include "storage/stored_text.h"
#include "window_fixture.h"

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

    QTreeWidget* TreeOf(PageId id) const { return window_->PageOf(id)->findChild<QTreeWidget*>(); }

    QString out_;
    int saved_ = 0;
};

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
    StartWindow();
    Edit("EditLogin")->setText("KREMU");
    Edit("EditPassword")->setText("KREMU");
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
    Show(PageId::Operators, TreeOf(PageId::Operators), "Иван Петров");
    Save("10_operators");

    Show(PageId::Ctr);
    Click(Find<QWidget>("ToolButtonAdminCtrAdd"));
    Edit("LabeledEditAdminCtrID")->setText("00A1");
    Edit("LabeledEditAdminCtrComment")->setText("ТП-5, ввод 1");
    Click(Find<QWidget>("ButtonAdminCtrSave"));
    storage::Database().ExecuteSql(
        "UPDATE CTR set InfoBasic=" +
        SqlText("SerialNumber=10042\r\nFirmware=3.1.7\r\nMeters=24\r\nUptime=12 d") +
        ", Profile=" + SqlText("Meter=M-230\r\nMeter=ZARNIC\r\nModem=GSM"));
    Show(PageId::Ctr, TreeOf(PageId::Ctr), "00A1 [ТП-5, ввод 1]");
    Save("11_concentrators");
    Click(Find<QWidget>("ButtonAdminCtrCancel"));
    Click(Find<QWidget>("ToolButtonAdminCtrAdd"));
    Save("12_concentrators_add");

    Show(PageId::MeasuringPoints);
    Save("13_measuring_points");
    Show(PageId::Customers, TreeOf(PageId::Customers), "ООО \"Энергосбыт\"");
    Save("14_customers");
    Show(PageId::Contracts, TreeOf(PageId::Contracts), "ООО \"Энергосбыт\"");
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
    Click(window_->Trail()->LabelAt(0));
    window_->NavigateTo(window_->PageOf(PageId::Log));
    Save("20_log");

    EXPECT_EQ(saved_, 21);
    EXPECT_TRUE(messages_->errors().empty());
    EXPECT_TRUE(messages_->warnings().empty());
}

}  // namespace
}  // namespace zb::apptest
