#pragma once
// What happens to a file a concentrator has sent, once its last block has arrived.
//
// The link itself knows nothing about results, meter lists or profiles: the sync object of the
// connection hands every completed received file to the installed ReceivedFileHandler and goes
// on. The start-up code installs the importers' handler; until one is installed the link uses
// StoreReceivedFilesHandler, which stores in the mirror what belongs there and processes nothing.
//
// When and where the handler runs:
// - On the connection's own thread, right after the log line
//   "CtrID = <ID>  -->  \"<link path>\"" and after the files-in counter was incremented.
// - With the link's file lock held (LinkShared::fileLock). The lock serialises the handling of
//   received files across all connections, and against the deletion of a mirror directory by the
//   concentrators page. The handler must not take the file lock itself; it may use the database
//   (Database()), which has its own lock.
// - The link releases the file lock, removes what is left of its spool file and returns to idle
//   afterwards, whatever the handler did.
// - A file whose content can never be processed (malformed XML, a value that cannot be
//   converted, a name that cannot be stored) is rejected: the handler throws
//   EReceivedFileRejected after undoing what it did. The link keeps the file byte for byte under
//   CTR/CTR_<ID>/REJECTED/, logs the reason and answers as for a completed file, so the files
//   queued behind it still arrive.
// - Any other exception is a fault of the server (database busy, disk full, out of memory): it
//   ends the connection; the exception is logged, the frame is not answered and the connection
//   closes, so the concentrator sends the file again later.
//
// Paths: the link path has already been checked and mapped into the concentrator's mirror by
// MapLinkPath (mirror.h); a path that could leave the mirror never reaches a handler.
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace zb::link {

// Where a received file belongs, told by how its link path begins (compared exactly, from its
// first character).
enum class ReceivedKind {
    Result,     // "ROOT\WORK\OUTBOX\": a result file; processed, never written to the mirror
    MeterList,  // "ROOT\INFO\METERS\" other than "noise.xml": imported, then written
    Noise,      // "ROOT\INFO\METERS\noise.xml": noise import, then written
    Profile,    // "ROOT\INFO\PROFILES\": written; then the profile-received hook runs
    Periodic,   // "ROOT\WORK\PERIODIC\": a copy of a periodic work; written, not processed
    Other,      // anything else: neither stored nor processed
};

ReceivedKind ClassifyLinkPath(std::string_view linkPath);

// A completed received file as the handler gets it.
struct ReceivedFile {
    // The concentrator ID text, "%0.4X" of the ID from the handshake, e.g. "00A1".
    std::string ctrId;
    // The path as the concentrator sent it, relative to its root, with backslashes, converted
    // from cp1251 to UTF-8, e.g. "ROOT\\INFO\\METERS\\meters-1.xml".
    std::string linkPath;
    // The file-name part of linkPath (after the last backslash), e.g. "meters-1.xml".
    std::string fileName;
    ReceivedKind kind = ReceivedKind::Other;
    // The concentrator's mirror directory: <program dir>/CTR/CTR_<ID>.
    std::filesystem::path mirrorDir;
    // The local file for linkPath inside the mirror (checked; it is not written yet).
    std::filesystem::path mirrorPath;
    // The received bytes, exactly as sent (an XML text, normally UTF-8). Valid during the call;
    // the link maps its spool file here, so the bytes are not copied into memory.
    std::string_view bytes;
    // The spool file holding the bytes, flushed to disk, in the mirror directory (outside ROOT),
    // or empty when the bytes live in memory only. WriteReceivedFile renames it into place
    // instead of writing the bytes again; the link removes whatever is left of it afterwards.
    std::filesystem::path spoolPath;
};

// Thrown by a handler for a file whose content can never be processed; what() is the reason.
class EReceivedFileRejected : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class ReceivedFileHandler {
  public:
    virtual ~ReceivedFileHandler() = default;
    // Called once per completed file, under the file lock (see above). Throw to end the
    // connection.
    virtual void HandleReceivedFile(const ReceivedFile& file) = 0;
};

// The handler used until the importers are installed, and the storing half of theirs: writes
// the bytes of meter lists, noise reports, profiles and periodic works to their mirror path
// (replacing any file there), and stores nothing for results and other paths. The importers run
// the profile-received hook once a profile is stored.
// A mirror folder that does not exist is an error (std::filesystem::filesystem_error).
class StoreReceivedFilesHandler : public ReceivedFileHandler {
  public:
    void HandleReceivedFile(const ReceivedFile& file) override;
};

// Stores the received file at file.mirrorPath, replacing any file there, and flushes it and its
// folder to disk. The spool file is renamed into place; without one the bytes go to a temporary
// name beside the target first. Either way a reader never sees half a file. A name the file
// system cannot hold (too long, a folder that does not exist in the mirror) throws
// EReceivedFileRejected; any other failure std::filesystem::filesystem_error.
void WriteReceivedFile(const ReceivedFile& file);

// Flushes a file (by descriptor) or the folder at a path to disk. Throw
// std::filesystem::filesystem_error on failure.
void SyncFile(int fd, const std::filesystem::path& shownPath);
void SyncFolder(const std::filesystem::path& folder);

// True for errors that say a name cannot be stored, whatever the state of the server.
bool IsNameError(const std::error_code& error);

// The project and profile IDs of a profile file name "profile-<project>-<profile>.xml": the
// (up to) 8 characters after the first "-", and the (up to) 8 characters after the next "-"
// behind it. False when the name does not hold both.
bool ParseProfileName(std::string_view fileName, std::string& projectId, std::string& profileId);

}  // namespace zb::link
