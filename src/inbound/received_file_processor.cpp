#include "inbound/received_file_processor.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>

#include "base/clock.h"
#include "base/log.h"
#include "base/program.h"
#include "inbound/inbound_context.h"
#include "inbound/meter_attributes.h"
#include "inbound/meter_inventory.h"
#include "inbound/result_file.h"
#include "link/link_shared.h"
#include "storage/schema.h"
#include "storage/stored_text.h"
#include "storage/time_stamp.h"
#include "xml/xml_tree.h"

namespace zb::inbound {

namespace {

// A NUL byte inside received text would end a stored value early; it is stored as U+FFFD.
constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";
constexpr int64_t kProcessedRecordDays = 30;

// The received bytes, with each NUL byte replaced; a copy is made only when there is one.
std::string_view WithoutNul(std::string_view bytes, std::string& copy) {
    if (std::memchr(bytes.data(), 0, bytes.size()) == nullptr) {
        return bytes;
    }
    copy.reserve(bytes.size() + 16);
    for (const char c : bytes) {
        if (c == '\0') {
            copy += kReplacementCharacter;
        } else {
            copy += c;
        }
    }
    return copy;
}

uint64_t Mix(uint64_t h) {
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    return h;
}

// A 128-bit hash of the bytes (two independent lanes over 8-byte words), as 32 hexadecimal
// digits. It tells a resent file from a new file of the same name and size.
std::string HashOf(std::string_view bytes) {
    uint64_t a = 0x9E3779B97F4A7C15ull ^ bytes.size();
    uint64_t b = 0xC2B2AE3D27D4EB4Full + bytes.size();
    size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes.data() + i, 8);
        a = (a ^ word) * 0x100000001B3ull;
        a = (a << 31) | (a >> 33);
        b = (b + word) * 0x9FB21C651E98DF25ull;
        b ^= b >> 29;
    }
    uint64_t tail = 0;
    std::memcpy(&tail, bytes.data() + i, bytes.size() - i);
    a = Mix(a ^ tail);
    b = Mix(b + tail + a);
    char text[40];
    std::snprintf(text, sizeof text, "%016llX%016llX", static_cast<unsigned long long>(a),
                  static_cast<unsigned long long>(b));
    return text;
}

int64_t NowStamp() {
    return storage::LocalTimeStampOf(base::ToLocal(base::Clock::Now()));
}

// The WHERE clause naming one received result file by its concentrator, name, size and hash.
std::string ProcessedFileWhere(const link::ReceivedFile& file, const std::string& hash) {
    return " WHERE CtrID=" + storage::SqlText(file.ctrId) +
           " AND FileName=" + storage::SqlText(file.fileName) +
           " AND Size=" + storage::SqlInt(static_cast<int64_t>(file.bytes.size())) +
           " AND Hash=" + storage::SqlText(hash);
}

// Faults of the database that lie in the file's values, not in the server.
bool IsFileFault(const storage::ESQLiteException& error) {
    switch (error.PrimaryCode()) {
        case SQLITE_TOOBIG:    // a value longer than a row may hold
        case SQLITE_MISMATCH:  // a value of the wrong kind for its column
            return true;
        default:
            return false;
    }
}

}  // namespace

ReceivedFileProcessor::ReceivedFileProcessor() : programDir_(base::Program().programDir) {}

ReceivedFileProcessor::ReceivedFileProcessor(std::filesystem::path programDir)
    : programDir_(std::move(programDir)) {}

void ReceivedFileProcessor::HandleReceivedFile(const link::ReceivedFile& file) {
    switch (file.kind) {
        case link::ReceivedKind::Result:
        case link::ReceivedKind::MeterList:
        case link::ReceivedKind::Noise:
            ApplyOrReject(file);
            break;
        case link::ReceivedKind::Profile:
            store_.HandleReceivedFile(file);
            RunProfileHook(file);
            break;
        case link::ReceivedKind::Periodic:
        case link::ReceivedKind::Other:
            store_.HandleReceivedFile(file);
            break;
    }
}

// Tells the errors of the file itself (it can never be processed: rejected) from the errors of
// the server (the file comes again). The file's rows are rolled back either way.
void ReceivedFileProcessor::ApplyOrReject(const link::ReceivedFile& file) {
    try {
        Apply(file);
    } catch (const link::EReceivedFileRejected&) {
        throw;
    } catch (const storage::ESQLiteException& error) {
        if (IsFileFault(error)) {
            throw link::EReceivedFileRejected(error.what());
        }
        throw;
    } catch (const xml::EParserError& error) {
        throw link::EReceivedFileRejected(error.what());
    } catch (const EConvertError& error) {
        throw link::EReceivedFileRejected(error.what());
    } catch (const std::system_error&) {
        throw;  // the file system: a name error was already told apart when storing
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::invalid_argument& error) {
        // A number that is not one (the value formats' EInvalidArgument among them).
        throw link::EReceivedFileRejected(error.what());
    } catch (const std::out_of_range& error) {
        throw link::EReceivedFileRejected(error.what());
    }
}

void ReceivedFileProcessor::Apply(const link::ReceivedFile& file) {
    std::string cleaned;
    const std::string_view text = WithoutNul(file.bytes, cleaned);
    // Result files and meter lists are applied element by element as they are read, never held
    // whole as a tree (they may be large); noise reports are small and read into a tree first.
    xml::TECXMLParser document;
    if (file.kind == link::ReceivedKind::Noise) {
        document.LoadFromString(text);
    }

    storage::TSQLiteDatabase& db = storage::Database();
    InboundContext context(db, programDir_);
    {
        storage::TSQLiteTransaction transaction(db);
        switch (file.kind) {
            case link::ReceivedKind::Result: {
                // A result file is applied once: its record is written in the same transaction
                // as its rows, and a file sent again because its answer was lost is only
                // answered.
                const std::string hash = HashOf(file.bytes);
                const std::string where = ProcessedFileWhere(file, hash);
                if (db.QueryTable(std::string("SELECT Size from ") +
                                  storage::kProcessedResultFileTable + where)
                        ->RowCount() > 0) {
                    base::LogLine(link::PeerText("CtrID = " + file.ctrId + ", файл " +
                                                 file.fileName +
                                                 " уже обработан, повторно не применяется."));
                    return;
                }
                ProcessResultText(context, text, file.ctrId);
                const int64_t now = NowStamp();
                db.ExecuteSql(std::string("DELETE from ") + storage::kProcessedResultFileTable +
                              " WHERE LocalTimeStamp<" +
                              storage::SqlInt(now - kProcessedRecordDays * 86400));
                db.ExecuteSql(std::string("INSERT into ") + storage::kProcessedResultFileTable +
                              " (CtrID,FileName,Size,Hash,LocalTimeStamp) values(" +
                              storage::SqlText(file.ctrId) + "," + storage::SqlText(file.fileName) +
                              "," + storage::SqlInt(static_cast<int64_t>(file.bytes.size())) + "," +
                              storage::SqlText(hash) + "," + storage::SqlInt(now) + ")");
                break;
            }
            case link::ReceivedKind::MeterList:
                ImportMeterInventoryText(context, text, file.ctrId);
                link::WriteReceivedFile(file);
                break;
            case link::ReceivedKind::Noise:
                ImportNoise(context, *document.Root());
                link::WriteReceivedFile(file);
                break;
            default:
                break;
        }
        transaction.Commit();
    }
    context.events.Emit();
}

}  // namespace zb::inbound
