#pragma once
// The importers' handler of completed received files: the link hands every file a concentrator
// has sent to it, on the connection's thread, with the file lock held.
//
// - Result files (ROOT\WORK\OUTBOX\) are parsed and applied; they are never stored.
// - Meter lists and noise.xml (ROOT\INFO\METERS\) are parsed and imported, then written to the
//   mirror.
// - Profiles, periodic works and anything else are stored as the link stores them (a profile
//   also tells the window, through the profile-received event).
//
// Each file is applied inside one transaction: all of its statements or none. A file that fails
// half-way leaves the database as it was. A file that can never be processed (malformed XML, a
// line too long, a value that cannot be converted, a name that cannot be stored) is rejected
// (link::EReceivedFileRejected): the link keeps it aside and answers, so the queue behind it
// moves on. A fault of the server (database busy, disk full) propagates: the file is not
// answered and comes again. A result file is recorded in the same transaction as its rows, so a
// file sent again after its answer was lost is answered without being applied twice; records
// are kept 30 days. The screens hear of the changes only after the commit.
#include <filesystem>
#include <string>
#include <string_view>

#include "link/received_file_handler.h"
#include "storage/sqlite_database.h"

namespace zb::inbound {

class ReceivedFileProcessor : public link::ReceivedFileHandler {
  public:
    // Uses the run's database (storage::Database()) and program directory (base::Program()).
    ReceivedFileProcessor();
    // For a given program directory (the mirror directories lie under it).
    explicit ReceivedFileProcessor(std::filesystem::path programDir);

    void HandleReceivedFile(const link::ReceivedFile& file) override;

  private:
    void ApplyOrReject(const link::ReceivedFile& file);
    void Apply(const link::ReceivedFile& file);

    std::filesystem::path programDir_;
    link::StoreReceivedFilesHandler store_;
};

}  // namespace zb::inbound
