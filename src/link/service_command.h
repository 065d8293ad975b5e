#pragma once
// Service command files: the smallest unit of work the server gives a concentrator. Each is one
// XML file with one `req` element, written into the concentrator's mirror inbox
// (<program dir>/CTR/CTR_<ID>/ROOT/WORK/INBOX/<file name>); the link delivers it the next time
// the concentrator connects and then deletes it.
//
// For the lines "Var=RefreshMeter", "OpCode=W", "Value=0A1B2C3D" the file holds exactly:
//
//   <?xml version="1.0" encoding="utf-8"?>
//   <root>
//     <workUID Value="0"/>
//     <command>
//       <req Var="RefreshMeter" OpCode="W" Value="0A1B2C3D"/>
//     </command>
//   </root>
//
// every line ended by CR LF, and one more CR LF at the end.
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace zb::link {

// A command file that could not be written (missing inbox folder, unknown concentrator, disk
// error). The text is shown to the operator as it is.
class EInOutError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The whole text of a command file for the request lines (each "Name=Value"; the name ends at
// the first "=", so a value may hold "=").
std::string ServiceCommandText(const std::vector<std::string>& requestLines);

// Writes a command file into the mirror inbox of the concentrator, replacing a file of the same
// name. An empty file name means a fresh MakeUniqueFileName("w-"). The text goes to a temporary
// name in the same folder (one that does not end in ".xml") and is renamed into place, so the
// link never sends half a file. Neither creates folders nor checks that the concentrator exists;
// raises EInOutError when the file cannot be written. Returns the file name used.
std::string WriteServiceCommand(const std::filesystem::path& programDir, const std::string& ctrId,
                                const std::vector<std::string>& requestLines,
                                const std::string& fileName);
// The same under the program directory of this run (base::Program()).
std::string WriteServiceCommand(const std::string& ctrId,
                                const std::vector<std::string>& requestLines,
                                const std::string& fileName);

// Writes any text into a folder through a temporary name and a rename (also used for work
// files). Raises EInOutError.
void WriteFileAtomically(const std::filesystem::path& target, const std::string& bytes);

// Writes a file (a command or a work file) into the mirror inbox of the concentrator through
// WriteFileAtomically. An ID or file name that would leave the inbox is refused with EInOutError.
void WriteInboxFile(const std::filesystem::path& programDir, const std::string& ctrId,
                    const std::string& fileName, const std::string& bytes);

// prefix + sixteen upper-case hexadecimal digits + ".xml", e.g. "w-0F3A00C1B2D49E07.xml". The
// generator is seeded afresh at every call.
std::string MakeUniqueFileName(const std::string& prefix);

// The command table: who asks for what, under which name.

// "YYYY-MM-DD-hh-mm-ss" of a time in UTC.
std::string SetUTCValue(std::chrono::system_clock::time_point utc);
// "SetUTC.xml": Var=SetUTC, OpCode=W, Value=<UTC now> (written by the link at a handshake).
void QueueSetUTC(const std::filesystem::path& programDir, const std::string& ctrId,
                 std::chrono::system_clock::time_point now);
// "FullSync.xml": Var=FullSync, OpCode=W (registration).
void QueueFullSync(const std::filesystem::path& programDir, const std::string& ctrId);
// "GetProfile.xml": Var=GetProfile, OpCode=R (registration, refresh of the attributes).
void QueueGetProfile(const std::filesystem::path& programDir, const std::string& ctrId);
// "GetParams.xml": Var=GetParams, OpCode=R (written right after GetProfile).
void QueueGetParams(const std::filesystem::path& programDir, const std::string& ctrId);
// The three commands queued at a registration, in order: FullSync, GetProfile, GetParams.
void QueueRegistrationCommands(const std::filesystem::path& programDir, const std::string& ctrId);
// GetProfile then GetParams: the refresh of a concentrator's attributes.
void QueueAttributeRefresh(const std::filesystem::path& programDir, const std::string& ctrId);
// "RefreshMeter_<target>.xml": Var=RefreshMeter, OpCode=W, Value=<target> ("ANY" = all meters).
void QueueRefreshMeter(const std::filesystem::path& programDir, const std::string& ctrId,
                       const std::string& target);
// "DeleteMeter_<target>.xml": Var=DeleteMeter, OpCode=W, Value=<target>.
void QueueDeleteMeter(const std::filesystem::path& programDir, const std::string& ctrId,
                      const std::string& target);
// "DeleteFile_<periodic file>.xml": Var=DeleteFile, OpCode=W,
// Value=ROOT\WORK\PERIODIC\<periodic file>.
void QueueDeleteFile(const std::filesystem::path& programDir, const std::string& ctrId,
                     const std::string& periodicFileName);

}  // namespace zb::link
