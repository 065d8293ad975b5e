#pragma once
// What the processing of one received file carries from step to step: the database, the
// program directory, the current-request record of the results store, and the screen updates
// that wait for the file's transaction to be committed.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "storage/sqlite_database.h"
#include "xml/xml_tree.h"

namespace zb::inbound {

// A value of a received file that cannot be read as what it must be (an answer time that is not
// a date and time).
class EConvertError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The request whose answers are being stored. Set per task by the result file dispatcher and the
// results store; used by one file's processing at a time.
struct CurrentRequest {
    std::string workUid;
    std::string taskUid;
    std::string varName;
    std::string opCode;
    std::string writtenText;
    std::string value;
    std::string arcType;
    std::string arcInterval;
    std::string arcOptions;
    std::vector<std::string> localTimes;
    std::vector<std::string> masterClocks;
};

// Screen updates collected while a file is applied. They go out through base::Events() only
// after the file's transaction has been committed, so a window never shows a change that was
// rolled back. Each update is sent once, in the order it was first noted.
class PendingEvents {
  public:
    void CtrValuesChanged(const std::string& ctrId);
    void PeriodicWorksChanged(const std::string& ctrId);
    void MeterValuesChanged(int64_t measuringPointUid);
    void MeasuringPointsChanged(const std::string& ctrId);

    bool Empty() const { return events_.empty(); }
    void Clear() {
        events_.clear();
        noted_.clear();
        notedPoints_.clear();
    }
    // Sends the collected updates and forgets them.
    void Emit();

  private:
    enum class Kind { CtrValues, PeriodicWorks, MeterValues, MeasuringPoints };
    struct Event {
        Kind kind;
        std::string ctrId;
        int64_t uid = 0;
    };
    void Note(Event event);
    std::vector<Event> events_;
    std::unordered_set<std::string> noted_;    // kind and concentrator of the others
    std::unordered_set<int64_t> notedPoints_;  // measuring points of MeterValues
};

// Hash of texts that finds std::string keys by a std::string_view without building a string.
struct TextHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

struct InboundContext {
    InboundContext(storage::TSQLiteDatabase& database, std::filesystem::path programDirectory)
        : db(database), programDir(std::move(programDirectory)) {}

    storage::TSQLiteDatabase& db;
    std::filesystem::path programDir;
    CurrentRequest request;
    PendingEvents events;
    // Measuring point UIDs already looked up for this file, by meter address, for the
    // concentrator pointUidsCtr. A result file names the same meter once per request; while its
    // answers are stored nothing changes the measuring points, so one look-up per meter is
    // enough.
    struct KnownPoint {
        int64_t uid = 0;
        size_t order = 0;  // its place in pointOrder
    };
    using PointUids = std::unordered_map<std::string, KnownPoint, TextHash, std::equal_to<>>;
    PointUids pointUids;
    int64_t pointUidsCtr = 0;
    // The same entries in the order they were first looked up: the answers of every request
    // name the meters in the same order, so the entry after the last one found is tried first.
    std::vector<const PointUids::value_type*> pointOrder;
    size_t nextPoint = 0;
    // The results store's statements, prepared on first use and run for every answer of the file.
    std::unique_ptr<storage::TSQLiteStatement> insertAnswer;
    std::unique_ptr<storage::TSQLiteStatement> insertArchiveAnswer;
    std::unique_ptr<storage::TSQLiteStatement> pointsOfAddress;
};

// The UID of the concentrator whose ID text is `ctrId` ("SELECT UID from CTR WHERE ID=..."),
// 0 when there is none.
int64_t CtrUidOf(storage::TSQLiteDatabase& db, std::string_view ctrId);

// The first column of the first row of a query as an integer, 0 when no row comes back.
int64_t FirstInt64(storage::TSQLiteDatabase& db, const std::string& sql);

// An attribute of an element of a received file (two-quote rule applied); the default when it is
// absent or the element is null.
std::string Attribute(const xml::TXMLItem* item, std::string_view name,
                      std::string_view defaultValue = "");
// The same without a copy: valid while the element is unchanged.
std::string_view AttributeView(const xml::TXMLItem* item, std::string_view name,
                               std::string_view defaultValue = "");

// Whether the item is one its parent's look-up by that name would find (names compare as the
// tree compares them, without regard to letter case).
bool IsNamed(const xml::TXMLItem& item, std::string_view name);

// Lines joined with CR LF; with `finalBreak` a CR LF follows the last line too.
std::string JoinLines(const std::vector<std::string>& lines, bool finalBreak);

// "Данные получены=" and the current local date and time (short date, long time).
std::string DataReceivedLine();

// A number written with "%0.10D": at least ten digits, a minus sign in front when negative.
std::string FormatTenDigits(int64_t value);

}  // namespace zb::inbound
