#pragma once
// The reference data that gives measuring points their meaning: the family of name registers
// (customers, categories, balance groups, energy providers), contracts by customer, and personal
// accounts bound to a customer and a contract. No delete touches a dependent row.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "admin/common.h"

namespace zb::admin {

// One text field of a family register's form.
struct FamilyField {
    const char* label;
    const char* column;
    // The piece of the UPDATE statement in front of this field's value.
    const char* updatePiece;
};

// Everything that tells one family register from the others.
struct FamilyRegister {
    const char* table;    // "Customer"
    const char* caption;  // the page caption: "Клиенты"
    const char* rootText;
    // Customers carry a type (0 individual, 1 legal entity) in a list before the text fields.
    bool hasType = false;
    const char* typeLabel = "";
    const char* typeUpdatePiece = "";
    std::vector<FamilyField> fields;
    const char* loadSql;
    const char* selectSql;     // followed by the UID
    const char* duplicateSql;  // followed by the stored name
    const char* duplicateWarning;
    const char* insertSql;  // followed by the values and ")"
    const char* xmlUpdatePiece;
    const char* whereUpdatePiece;
    const char* deleteSql;  // followed by the UID
    const char* editHeader;
    const char* addHeader;
    const char* addHint;
    const char* deleteHint;
    const char* prompt;
};

const FamilyRegister& CustomersRegister();
const FamilyRegister& CategoriesRegister();
const FamilyRegister& BalanceGroupsRegister();
const FamilyRegister& ProvidersRegister();

// The two customer types, in the order of the type list.
inline constexpr const char* kCustomerTypes[] = {"Физ.лицо", "Юр.лицо"};
// The picture a customer node and the header show: 0 for an individual, 1 for anything else.
int CustomerPictureOf(int64_t typeCode);
// The type list entry for a stored type code (a code out of range shows the legal entity).
int CustomerTypeIndexOf(int64_t typeCode);

struct FamilyRow {
    int64_t uid = 0;
    std::string name;
    int64_t typeCode = 0;  // customers only
};

// The values of a family form: the type (customers) and the texts in the order of `fields`.
struct FamilyRecord {
    int64_t typeCode = 0;
    std::vector<std::string> texts;
};

std::vector<FamilyRow> LoadFamily(storage::TSQLiteDatabase& db, const FamilyRegister& reg);
std::optional<FamilyRecord> ReadFamilyRecord(storage::TSQLiteDatabase& db,
                                             const FamilyRegister& reg, int64_t uid);
// Add mode: refused with the register's warning when the stored name exists; no field is
// required.
AddResult AddFamilyRecord(storage::TSQLiteDatabase& db, const FamilyRegister& reg,
                          const FamilyRecord& record);
// Edit mode: no uniqueness check.
void UpdateFamilyRecord(storage::TSQLiteDatabase& db, const FamilyRegister& reg, int64_t uid,
                        const FamilyRecord& record);
void DeleteFamilyRecord(storage::TSQLiteDatabase& db, const FamilyRegister& reg, int64_t uid);

std::string FamilyInsertSql(const FamilyRegister& reg, const FamilyRecord& record);
std::string FamilyUpdateSql(const FamilyRegister& reg, int64_t uid, const FamilyRecord& record);

// The contracts page: contracts listed by customer, added and deleted, never edited.
namespace contract_texts {
inline constexpr const char* kCaption = "Договоры";
inline constexpr const char* kRoot = "Клиенты";
inline constexpr const char* kListTitle = "Договоры";
inline constexpr const char* kListTitleOf = "Договоры с клиентом: ";
inline constexpr const char* kAddHint = "Добавить новый договор";
inline constexpr const char* kDeleteHint = "Удалить выбранный договор";
inline constexpr const char* kHeader = "Договор";
inline constexpr const char* kHeaderNew = "Новый договор";
inline constexpr const char* kNumberLabel = "Номер договора:";
inline constexpr const char* kPrompt = "Выберите\r\nклиента и договор";
}  // namespace contract_texts

std::string ContractListTitle(const std::string& customerNodeText);
std::vector<Row> LoadContractsOf(storage::TSQLiteDatabase& db, int64_t customerUid);
// No uniqueness and no empty check.
int64_t AddContract(storage::TSQLiteDatabase& db, int64_t customerUid, const std::string& number);
void DeleteContract(storage::TSQLiteDatabase& db, int64_t uid);

// The personal accounts page: accounts added and deleted; an existing one is shown only.
namespace account_texts {
inline constexpr const char* kCaption = "Лицевые счета";
inline constexpr const char* kRoot = "Лицевые счета";
inline constexpr const char* kAddHint = "Добавить новый лицевой счёт";
inline constexpr const char* kDeleteHint = "Удалить выбранный лицевой счёт";
inline constexpr const char* kHeader = "Лицевой счёт";
inline constexpr const char* kHeaderNew = "Новый лицевой счёт";
inline constexpr const char* kNumberLabel = "Номер лицевого счёта:";
inline constexpr const char* kBinding = "Привязка";
inline constexpr const char* kCustomer = "Клиент";
inline constexpr const char* kContract = "Договор";
inline constexpr const char* kPrompt = "Выберите\r\nили добавьте\r\nлицевой счёт";
// Shown for a binding whose row no longer exists.
inline constexpr const char* kMissing = "<NULL>";
}  // namespace account_texts

struct AccountView {
    std::string number;
    int64_t customerUid = 0;
    int64_t contractUid = 0;
    std::string customerName;  // kMissing when the customer row is gone
    std::string contractName;  // kMissing when the contract row is gone
};

std::vector<Row> LoadAccounts(storage::TSQLiteDatabase& db);
std::optional<AccountView> ReadAccount(storage::TSQLiteDatabase& db, int64_t uid);
std::vector<Row> LoadAllCustomers(storage::TSQLiteDatabase& db);
std::vector<Row> LoadAllContracts(storage::TSQLiteDatabase& db);
// The customer a contract belongs to; 0 when the contract is gone.
int64_t CustomerOfContract(storage::TSQLiteDatabase& db, int64_t contractUid);
// 0 stands for "nothing chosen"; no check that the contract belongs to the customer.
int64_t AddAccount(storage::TSQLiteDatabase& db, int64_t customerUid, int64_t contractUid,
                   const std::string& number);
void DeleteAccount(storage::TSQLiteDatabase& db, int64_t uid);

}  // namespace zb::admin
