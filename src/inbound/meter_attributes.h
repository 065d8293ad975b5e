#pragma once
// The meter attributes view: what the server knows about one meter, as three key=value tables.
// The basic and archive information come from the meter's MeasuringPoint row (written by the
// meter inventory), the profile from the file "profile-<project>-<profile>.xml" that the
// meter's concentrator sent into its mirror's ROOT/INFO/PROFILES. The measuring points register
// and the statistics page show these rows; the profile-received hook reads a profile that has
// just arrived so that a page showing a meter of that profile can refresh its table.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "base/events.h"
#include "link/received_file_handler.h"
#include "storage/sqlite_database.h"

namespace zb::inbound {

using KeyValueRow = base::KeyValueRow;
using KeyValueRows = base::KeyValueRows;

inline constexpr const char* kFunctionKind = "Функция";
inline constexpr const char* kParameterKind = "Параметр";

struct MeterAttributes {
    int64_t ctrUid = 0;
    std::string ctrId;      // empty when the concentrator row is missing
    std::string meterAddr;  // as stored
    KeyValueRows basic, archive, profile;
    // Why the profile stopped early (a VID that is not hexadecimal); the rows read before stay.
    std::string profileError;
    bool found = false;  // false: no such measuring point, all three tables empty
};

// The three tables of a measuring point. The profile is read when the basic information names
// it ("0000.ProjectID" and "0000.ProfileID", keys compared without regard to case) and the
// point's concentrator exists; it is read every time, so showing a point again never leaves its
// profile table empty.
MeterAttributes ReadMeterAttributes(storage::TSQLiteDatabase& db,
                                    const std::filesystem::path& programDir,
                                    int64_t measuringPointUid);

// The rows of a profile file: for every `var` child of the root, in order, the kind
// ("Функция" or "Параметр", empty for a variable the catalogue does not know) and the name
// (the catalogue's, found by Name or else by VID; otherwise as written), then
// "Данные получены" with the file's modification time. A missing or unreadable file gives no
// rows. A VID that is not hexadecimal stops the reading: the rows read so far are returned and
// the conversion's message is put into `error` (when given).
KeyValueRows ReadMeterProfile(const std::filesystem::path& profileFile,
                              std::string* error = nullptr);

// The profile file of a concentrator's mirror named by the two IDs. Nothing when an ID could
// lead out of the profiles folder (a path separator, ":" or NUL).
std::optional<std::filesystem::path> MeterProfilePath(const std::filesystem::path& programDir,
                                                      std::string_view ctrId,
                                                      std::string_view projectId,
                                                      std::string_view profileId);

// The hook's test: the basic rows hold the project ID and the profile ID, under the keys the
// inventory stores ("0000.ProjectID", "0000.ProfileID") or without the prefix, keys compared
// without regard to case and values exactly.
bool ProfileMatches(const KeyValueRows& basic, std::string_view projectId,
                    std::string_view profileId);

// The profile-received hook, on the connection thread that stored the file: when the file name
// carries both IDs, reads the profile and hands its rows to the window
// (base::Events().ProfileReceived). A profile that cannot be read completely is logged.
void RunProfileHook(const link::ReceivedFile& file);

}  // namespace zb::inbound
