#pragma once
// The concentrator registry: a row in CTR and a mirror directory named after its ID make a
// concentrator that may connect. Adding one creates the mirror's five folders and queues the
// first three service commands; deleting one releases its measuring points and removes the
// mirror under the link's file lock.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "admin/common.h"

namespace zb::admin {

namespace ctr_texts {
inline constexpr const char* kCaption = "Концентраторы";
inline constexpr const char* kRoot = "Концентраторы";
inline constexpr const char* kHeaderEdit = "Концентратор (редактировать)";
inline constexpr const char* kHeaderNew = "Новый концентратор";
inline constexpr const char* kSave = "Сохранить";
inline constexpr const char* kAdd = "Добавить";
inline constexpr const char* kNewId = "0000";
inline constexpr const char* kNoAddress = "<NULL>";
inline constexpr const char* kRefreshHint =
    "Загрузить команду на обновление атрибутов концентратора";
inline constexpr const char* kAddHint = "Добавить новый концентратор";
inline constexpr const char* kDeleteHint = "Удалить выбранный концентратор";
inline constexpr const char* kOperatorGroup = "Свойства, установленные оператором";
inline constexpr const char* kReadGroup = "Атрибуты концентратора, прочитанные";
inline constexpr const char* kPrompt = "Выберите\r\nили добавьте\r\nконцентратор";
inline constexpr const char* kDuplicateId =
    "Концентратор с таким 'ID' уже существует,\r\nдобавление невозможно! ";
// An ID that cannot name a mirror directory the link would ever find.
inline constexpr const char* kInvalidId =
    "Неверный 'ID' концентратора!\r\nДопустимы от 1 до 8 шестнадцатеричных цифр (0-9, A-F).";
}  // namespace ctr_texts

// The form of a typed ID that names its mirror directory: blanks trimmed, upper case, at least
// four digits ("%0.4X" of its value, as the handshake formats the ID it is told). Nothing when
// the text is not 1 to 8 hexadecimal digits: such an ID could never connect, and could name a
// directory outside the mirrors.
std::optional<std::string> CanonicalCtrId(const std::string& typed);

struct CtrRecord {
    std::string id;
    std::string comment;
    std::string password;
};

struct CtrView {
    CtrRecord record;
    std::vector<std::pair<std::string, std::string>> infoBasic;
    std::vector<std::pair<std::string, std::string>> profile;
};

// The tree rows: each concentrator's node text (ID and " [comment]") and UID.
std::vector<Row> LoadCtrs(storage::TSQLiteDatabase& db);
std::optional<CtrView> ReadCtr(storage::TSQLiteDatabase& db, int64_t uid);

// The outcome of an add or a save: the warning that refused it, or the row's UID and the ID as
// it was written (which the ID edit then shows).
struct CtrSaveResult {
    std::string warning;
    int64_t uid = 0;
    std::string id;
    bool Saved() const { return warning.empty(); }
};

// Add: the ID check, the duplicate check, then the INSERT. The mirror is made separately
// (PrepareMirror), after the node is in the tree.
CtrSaveResult AddCtr(storage::TSQLiteDatabase& db, const CtrRecord& record);
// The mirror's five folders (failures are not reported), then FullSync.xml, GetProfile.xml and
// GetParams.xml in its inbox. Raises link::EInOutError when a command cannot be written.
void PrepareMirror(const std::filesystem::path& programDir, const std::string& ctrId);

// Save: the ID check, then the UPDATE. No duplicate check; the mirror keeps its name.
CtrSaveResult SaveCtr(storage::TSQLiteDatabase& db, int64_t uid, const CtrRecord& record);
std::string CtrUpdateSql(int64_t uid, const CtrRecord& record);

// Deletes a mirror directory by the ID as stored (the link does it once no received file is
// being handled).
using MirrorDeleter = std::function<void(const std::string& storedId)>;

// Delete, without confirmation: the concentrator's measuring points become unassigned, its
// mirror directory (named by the ID as stored) is deleted by `deleteMirror`, then the row.
// A stored ID that is not plain hexadecimal names no directory and nothing is deleted on disk.
void DeleteCtr(storage::TSQLiteDatabase& db, int64_t uid, const MirrorDeleter& deleteMirror);

// Refresh: GetProfile.xml then GetParams.xml for the ID in the edit. Returns the warning for
// an ID that names no mirror, or empty text. Raises link::EInOutError.
std::string RefreshCtr(const std::filesystem::path& programDir, const std::string& typedId);

// The spin button: the text read as a decimal number, one up (unless 9999) or down (unless 0),
// written with four digits. Nothing when the edit must stay as it is.
std::optional<std::string> SpinCtrId(const std::string& text, bool up);

// The last address as the page shows it: the address, or "<NULL>" before any handshake.
std::string LastAddressText(const std::optional<std::string>& address);
bool CanOpenAddress(const std::string& shown);
// The concentrator's own web page.
std::string CtrPageUrl(const std::string& address);

}  // namespace zb::admin
