#pragma once
// The measuring points register: an operator picks a concentrator, gives its meters a name, a
// place, bindings to an account, a provider, a category and a balance group, a balance role and
// a remark, and saves the changed rows at once. The meter refresh and delete commands queue a
// command file for the meter shown (or, with Alt, for every meter of the concentrator).
//
// The grid's rows, the save statements, the chooser lists and the command rules live here; the
// page shows them.
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "admin/common.h"

namespace zb::admin {

namespace mp_texts {
inline constexpr const char* kCaption = "Точки учёта";
inline constexpr const char* kRoot = "Концентраторы";
inline constexpr const char* kGridTitle = "Точки учёта";
inline constexpr const char* kPrompt = "Выберите\r\nконцентратор\r\nи точку учёта";
// Shown for an empty text and for a binding whose row does not exist; saved as NULL.
inline constexpr const char* kNull = "<NULL>";
inline constexpr const char* kChangedMark = " *";
inline constexpr const char* kSave = "Сохранить *";
inline constexpr const char* kSaveHint = "Сохранить изменения";
inline constexpr const char* kMeterHeader = "Счётчик";
inline constexpr const char* kReadGroup = "Атрибуты счётчика, прочитанные";
inline constexpr const char* kRefresh = "UpLoad";
inline constexpr const char* kDelete = "Delete";
inline constexpr const char* kRefreshHint =
    "Загрузить команду на обновление атрибутов счётчика\r\n+Alt - обновить атрибуты всех "
    "счётчиков";
inline constexpr const char* kDeleteHint =
    "Загрузить команду на удаление счётчика\r\n+Alt - удалить все счётчики";
// A stored meter address that cannot name a command file inside the mirror inbox.
inline constexpr const char* kBadAddress =
    "Адрес счётчика не может быть частью имени файла команды,\r\nзагрузка невозможна! ";
inline constexpr const char* kAnyMeter = "ANY";
}  // namespace mp_texts

// The grid's columns.
inline constexpr int kMeterColumns = 11;
inline constexpr const char* kMeterCaptions[kMeterColumns] = {
    " Адрес",        " Сер.номер",        " Протокол",  " Название точки учёта", " Место установки",
    " Лицевой счёт", " Гарант.поставщик", " Категория", " Балансовая группа",    " Балансовая роль",
    " Примечания"};
// Widths of the first columns; the others keep the grid's default.
inline constexpr int kMeterWidths[] = {70, 70, 70, 130};
enum MeterColumn {
    kColAddress = 0,
    kColSerial = 1,
    kColSyntax = 2,
    kColName = 3,
    kColLocation = 4,
    kColAccount = 5,
    kColProvider = 6,
    kColCategory = 7,
    kColBalance = 8,
    kColRole = 9,
    kColComment = 10,
};
// Columns 3, 4 and 10 are typed; 5 to 9 are chosen from a list; 0 to 2 are fixed.
bool IsTypedColumn(int column);
bool IsChosenColumn(int column);

// One row of the grid: the measuring point's UID, the texts shown (the address without the
// change mark) and the UIDs bound in columns 5 to 8 (0 when unbound).
struct MeterRow {
    int64_t uid = 0;
    std::array<std::string, kMeterColumns> cells;
    std::array<int64_t, 4> bound{};
    bool changed = false;

    int64_t& BoundUid(int column) { return bound.at(column - kColAccount); }
    int64_t BoundUid(int column) const { return bound.at(column - kColAccount); }
    // The address as the grid shows it: with " *" behind it while the row is changed.
    std::string ShownAddress() const;
};

// The concentrator tree: every CTR row as "ID [Comment]", sorted by text.
std::vector<Row> LoadMeterCtrs(storage::TSQLiteDatabase& db);

// The grid rows of a concentrator's measuring points, in the order the database returns them.
// Each binding's name is read from one look-up table per reference table, filled once.
std::vector<MeterRow> LoadMeterRows(storage::TSQLiteDatabase& db, int64_t ctrUid);

// The statement that saves a row: the texts of columns 3, 4, 9 and 10 ("<NULL>" as the word
// NULL) and the four bindings.
std::string MeterUpdateSql(const MeterRow& row);
// Saves every changed row in order, one statement each; a row's mark goes once its statement
// has run, so after a failure the rows saved so far are unmarked. Returns the count saved.
int SaveChangedRows(storage::TSQLiteDatabase& db, std::vector<MeterRow>& rows);

// The chooser's items for a column: for 5 to 8 the names of all rows of Account, EProvider,
// CustomGroup or Balance, sorted (without regard to case), each with its UID; for 9 "S" and "M"
// (UID 0); none for any other column.
std::vector<Row> ChooserItems(storage::TSQLiteDatabase& db, int column);

// The meter commands of the register's meter panel.
enum class MeterCommand { Refresh, Delete };

struct MeterCommandOutcome {
    std::string warning;   // the refusal to show; nothing was written
    std::string fileName;  // the command file written into the inbox, empty when none
};

// Whether a meter address can be part of a command file name inside the inbox: no path
// separator, ":" or NUL, no "..", at most 200 bytes.
bool IsCommandTarget(const std::string& address);

// Queues "RefreshMeter_<target>.xml" or "DeleteMeter_<target>.xml" for the concentrator and the
// measuring point; target is "ANY" when Alt was held, else the address as stored. Stops
// silently (nothing written, no warning) when either row is missing. Raises link::EInOutError
// when the file cannot be written.
MeterCommandOutcome QueueMeterCommand(storage::TSQLiteDatabase& db,
                                      const std::filesystem::path& programDir, MeterCommand command,
                                      int64_t ctrUid, int64_t measuringPointUid, bool altHeld);

}  // namespace zb::admin
