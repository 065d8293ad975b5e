#include "admin/reference.h"

#include "storage/sqlite_database.h"
#include "storage/stored_text.h"

namespace zb::admin {

using storage::SqlInt;
using storage::SqlText;
using storage::StoredTextDecode;

const FamilyRegister& CustomersRegister() {
    static const FamilyRegister reg{
        .table = "Customer",
        .caption = "Клиенты",
        .rootText = "Клиенты",
        .hasType = true,
        .typeLabel = "Тип клиента",
        .typeUpdatePiece = "UPDATE Customer set TypeCode      = ",
        .fields = {{"Имя клиента/название органицации:", "Name", " Name          = "},
                   {"Почтовый адрес:", "StreetAddress", " StreetAddress = "},
                   {"ИНН:", "INN", " INN           = "}},
        .loadSql = "SELECT UID,Name,TypeCode from Customer",
        .selectSql = "SELECT TypeCode,Name,StreetAddress,INN from Customer WHERE UID = ",
        .duplicateSql = "SELECT UID from Customer WHERE Name=",
        .duplicateWarning = "Клиент с таким именем уже существует,\r\nдобавление невозможно! ",
        .insertSql = "INSERT into Customer (TypeCode,Name,StreetAddress,INN,XML) values(",
        .xmlUpdatePiece = " XML           = ",
        .whereUpdatePiece = " WHERE UID     = ",
        .deleteSql = "DELETE from Customer WHERE UID = ",
        .editHeader = "Клиент (редактировать)",
        .addHeader = "Новый клиент",
        .addHint = "Добавить нового клиента",
        .deleteHint = "Удалить выбранного клиента",
        .prompt = "Выберите\r\nили добавьте\r\nклиента",
    };
    return reg;
}

const FamilyRegister& CategoriesRegister() {
    static const FamilyRegister reg{
        .table = "CustomGroup",
        .caption = "Категории точек учёта",
        .rootText = "Категории",
        .fields = {{"Название категории:", "Name", "UPDATE CustomGroup set Name      = "}},
        .loadSql = "SELECT UID,Name from CustomGroup",
        .selectSql = "SELECT Name from CustomGroup WHERE UID = ",
        .duplicateSql = "SELECT UID from CustomGroup WHERE Name=",
        .duplicateWarning = "Категория с таким именем уже существует,\r\nдобавление невозможно! ",
        .insertSql = "INSERT into CustomGroup (Name,XML) values(",
        .xmlUpdatePiece = " XML       = ",
        .whereUpdatePiece = " WHERE UID = ",
        .deleteSql = "DELETE from CustomGroup WHERE UID = ",
        .editHeader = "Категория (редактировать)",
        .addHeader = "Новая категория",
        .addHint = "Добавить новую категорию",
        .deleteHint = "Удалить выбранную категорию",
        .prompt = "Выберите\r\nили добавьте\r\nкатегорию",
    };
    return reg;
}

const FamilyRegister& BalanceGroupsRegister() {
    static const FamilyRegister reg{
        .table = "Balance",
        .caption = "Балансовые группы",
        .rootText = "Балансовые группы",
        .fields = {{"Название балансовой группы:", "Name", "UPDATE Balance set Name      = "}},
        .loadSql = "SELECT UID,Name from Balance",
        .selectSql = "SELECT Name from Balance WHERE UID = ",
        .duplicateSql = "SELECT UID from Balance WHERE Name=",
        .duplicateWarning =
            "Балансовая группа с таким именем уже существует,\r\nдобавление невозможно! ",
        .insertSql = "INSERT into Balance (Name,XML) values(",
        .xmlUpdatePiece = " XML       = ",
        .whereUpdatePiece = " WHERE UID = ",
        .deleteSql = "DELETE from Balance WHERE UID = ",
        .editHeader = "Балансовая группа (редактировать)",
        .addHeader = "Новая балансовая группа",
        .addHint = "Добавить новую балансовую группу",
        .deleteHint = "Удалить выбранную балансовую группу",
        .prompt = "Выберите\r\nили добавьте\r\nбалансовую группу",
    };
    return reg;
}

const FamilyRegister& ProvidersRegister() {
    static const FamilyRegister reg{
        .table = "EProvider",
        .caption = "Поставщики",
        .rootText = "Поставщики",
        .fields = {{"Название организации гарантирующего поставщика:", "Name",
                    "UPDATE EProvider set Name      = "},
                   {"ИНН:", "INN", " INN       = "}},
        .loadSql = "SELECT UID,Name from EProvider",
        .selectSql = "SELECT Name,INN from EProvider WHERE UID = ",
        .duplicateSql = "SELECT UID from EProvider WHERE Name=",
        .duplicateWarning = "Поставщик с таким именем уже существует,\r\nдобавление невозможно! ",
        .insertSql = "INSERT into EProvider (Name,INN,XML) values(",
        .xmlUpdatePiece = " XML       = ",
        .whereUpdatePiece = " WHERE UID = ",
        .deleteSql = "DELETE from EProvider WHERE UID = ",
        .editHeader = "Поставщик (редактировать)",
        .addHeader = "Новый поставщик",
        .addHint = "Добавить нового поставщика",
        .deleteHint = "Удалить выбранного поставщика",
        .prompt = "Выберите\r\nили добавьте\r\nгарантирующего\r\nпоставщика",
    };
    return reg;
}

int CustomerPictureOf(int64_t typeCode) {
    return typeCode == 0 ? 0 : 1;
}

int CustomerTypeIndexOf(int64_t typeCode) {
    return typeCode == 0 ? 0 : 1;
}

std::vector<FamilyRow> LoadFamily(storage::TSQLiteDatabase& db, const FamilyRegister& reg) {
    std::vector<FamilyRow> rows;
    auto table = db.QueryTable(reg.loadSql);
    while (!table->AtEnd()) {
        FamilyRow row;
        row.uid = table->FieldInt64(0);
        row.name = StoredTextDecode(table->FieldText(1));
        if (reg.hasType) {
            row.typeCode = table->FieldInt64(2);
        }
        rows.push_back(std::move(row));
        table->Next();
    }
    return rows;
}

std::optional<FamilyRecord> ReadFamilyRecord(storage::TSQLiteDatabase& db,
                                             const FamilyRegister& reg, int64_t uid) {
    auto table = db.QueryTable(reg.selectSql + SqlInt(uid));
    if (table->AtEnd()) {
        return std::nullopt;
    }
    FamilyRecord record;
    int column = 0;
    if (reg.hasType) {
        record.typeCode = table->FieldInt64(column++);
    }
    for (size_t i = 0; i < reg.fields.size(); ++i) {
        record.texts.push_back(StoredTextDecode(table->FieldText(column++)));
    }
    return record;
}

namespace {

// The record's texts, one per field; missing ones are empty.
std::string TextOf(const FamilyRecord& record, size_t index) {
    return index < record.texts.size() ? record.texts[index] : std::string();
}

}  // namespace

std::string FamilyInsertSql(const FamilyRegister& reg, const FamilyRecord& record) {
    std::string sql = reg.insertSql;
    if (reg.hasType) {
        sql += SqlInt(record.typeCode) + ",";
    }
    for (size_t i = 0; i < reg.fields.size(); ++i) {
        sql += SqlText(TextOf(record, i)) + ",";
    }
    return sql + SqlText("") + ")";
}

std::string FamilyUpdateSql(const FamilyRegister& reg, int64_t uid, const FamilyRecord& record) {
    std::string sql;
    if (reg.hasType) {
        sql += reg.typeUpdatePiece + SqlInt(record.typeCode) + ",";
    }
    for (size_t i = 0; i < reg.fields.size(); ++i) {
        sql += reg.fields[i].updatePiece + SqlText(TextOf(record, i)) + ",";
    }
    return sql + reg.xmlUpdatePiece + SqlText("") + reg.whereUpdatePiece + SqlInt(uid);
}

AddResult AddFamilyRecord(storage::TSQLiteDatabase& db, const FamilyRegister& reg,
                          const FamilyRecord& record) {
    if (!db.QueryTable(reg.duplicateSql + SqlText(TextOf(record, 0)))->AtEnd()) {
        return AddResult::Refused(reg.duplicateWarning);
    }
    return AddResult::NewRow(db.InsertSql(FamilyInsertSql(reg, record)));
}

void UpdateFamilyRecord(storage::TSQLiteDatabase& db, const FamilyRegister& reg, int64_t uid,
                        const FamilyRecord& record) {
    db.ExecuteSql(FamilyUpdateSql(reg, uid, record));
}

void DeleteFamilyRecord(storage::TSQLiteDatabase& db, const FamilyRegister& reg, int64_t uid) {
    if (uid != 0) {
        db.ExecuteSql(reg.deleteSql + SqlInt(uid));
    }
}

std::string ContractListTitle(const std::string& customerNodeText) {
    return contract_texts::kListTitleOf + customerNodeText;
}

std::vector<Row> LoadContractsOf(storage::TSQLiteDatabase& db, int64_t customerUid) {
    return QueryRows(db, "SELECT UID,Name from Contract WHERE CustomerUID=" + SqlInt(customerUid));
}

int64_t AddContract(storage::TSQLiteDatabase& db, int64_t customerUid, const std::string& number) {
    return db.InsertSql("INSERT into Contract (CustomerUID,Name) values(" + SqlInt(customerUid) +
                        "," + SqlText(number) + ")");
}

void DeleteContract(storage::TSQLiteDatabase& db, int64_t uid) {
    db.ExecuteSql("DELETE from Contract WHERE UID = " + SqlInt(uid));
}

std::vector<Row> LoadAccounts(storage::TSQLiteDatabase& db) {
    return QueryRows(db, "SELECT UID,Name from Account");
}

namespace {

std::string NameOrMissing(storage::TSQLiteDatabase& db, const std::string& sql) {
    auto table = db.QueryTable(sql);
    return table->AtEnd() ? std::string(account_texts::kMissing)
                          : StoredTextDecode(table->FieldText(0));
}

}  // namespace

std::optional<AccountView> ReadAccount(storage::TSQLiteDatabase& db, int64_t uid) {
    auto table =
        db.QueryTable("SELECT Name,CustomerUID,ContractUID from Account WHERE UID=" + SqlInt(uid));
    if (table->AtEnd()) {
        return std::nullopt;
    }
    AccountView view;
    view.number = StoredTextDecode(table->FieldText(0));
    view.customerUid = table->FieldInt64(1);
    view.contractUid = table->FieldInt64(2);
    view.customerName =
        NameOrMissing(db, "SELECT Name from Customer WHERE UID=" + SqlInt(view.customerUid));
    view.contractName =
        NameOrMissing(db, "SELECT Name from Contract WHERE UID=" + SqlInt(view.contractUid));
    return view;
}

std::vector<Row> LoadAllCustomers(storage::TSQLiteDatabase& db) {
    return QueryRows(db, "SELECT UID,Name from Customer");
}

std::vector<Row> LoadAllContracts(storage::TSQLiteDatabase& db) {
    return QueryRows(db, "SELECT UID,Name from Contract");
}

int64_t CustomerOfContract(storage::TSQLiteDatabase& db, int64_t contractUid) {
    auto table = db.QueryTable("SELECT CustomerUID from Contract WHERE UID=" + SqlInt(contractUid));
    return table->AtEnd() ? 0 : table->FieldInt64(0);
}

int64_t AddAccount(storage::TSQLiteDatabase& db, int64_t customerUid, int64_t contractUid,
                   const std::string& number) {
    return db.InsertSql("INSERT into Account (CustomerUID,ContractUID,Name) values(" +
                        SqlInt(customerUid) + "," + SqlInt(contractUid) + "," + SqlText(number) +
                        ")");
}

void DeleteAccount(storage::TSQLiteDatabase& db, int64_t uid) {
    db.ExecuteSql("DELETE from Account WHERE UID = " + SqlInt(uid));
}

}  // namespace zb::admin
