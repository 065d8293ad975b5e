// Mirror directories, link path mapping, service command files and the storing handler.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <set>

#include "link/mirror.h"
#include "link/received_file_handler.h"
#include "link/service_command.h"
#include "testing/temp_dir.h"

namespace zb::link {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// Everything below `dir`: a folder as "path/" with no bytes, a file with its bytes.
std::map<std::string, std::string> Tree(const fs::path& dir) {
    std::map<std::string, std::string> all;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        const std::string name = fs::relative(entry.path(), dir).string();
        all[entry.is_directory() ? name + "/" : name] =
            entry.is_directory() ? "" : ReadFile(entry.path());
    }
    return all;
}

TEST(Mirror, MapLinkPathKeepsEverythingInsideTheMirror) {
    EXPECT_EQ(CtrIdText(0x0) + CtrIdText(0x12345) + CtrIdText(0xFFFFFFFE), "000012345FFFFFFFE");
    const fs::path mirror = "/p/CTR/CTR_00A1";
    EXPECT_EQ(MapLinkPath(mirror, "ROOT\\INFO\\METERS\\x.xml"),
              fs::path("/p/CTR/CTR_00A1/ROOT/INFO/METERS/x.xml"));
    EXPECT_EQ(MapLinkPath(mirror, "x.xml"), fs::path("/p/CTR/CTR_00A1/x.xml"));
    EXPECT_EQ(MapLinkPath(mirror, "ROOT\\a..b\\..x"), fs::path("/p/CTR/CTR_00A1/ROOT/a..b/..x"));
    for (const std::string& bad : std::vector<std::string>{
             "", "ROOT\\INFO\\PROFILES\\..\\..\\..\\x", "..", "ROOT\\..", ".\\x", "ROOT\\.\\x",
             "\\etc\\passwd", "C:\\x.xml", "ROOT\\C:x", "ROOT\\WORK/INBOX\\x", "/etc/passwd",
             "ROOT\\\\x", "ROOT\\INFO\\", std::string("ROOT\\a\0b", 8), "ROOT\\x.xml:stream"}) {
        EXPECT_FALSE(MapLinkPath(mirror, bad).has_value()) << bad;
    }
}

TEST(Mirror, CreatesTheFiveFoldersAndDeletesTheTree) {
    TempDir dir;
    ASSERT_TRUE(CreateMirrorFolders(dir.path(), "00A1"));
    const fs::path root = dir / "CTR/CTR_00A1/ROOT";  // its folders: see the handler test
    // Read-only files and folders go too; a symbolic link is removed, not followed.
    WriteFile(root / "INFO/METERS/m.xml", "<m/>");
    fs::permissions(root / "INFO/METERS/m.xml", fs::perms::owner_read);
    fs::permissions(root / "INFO/METERS", fs::perms::owner_read | fs::perms::owner_exec);
    WriteFile(dir / "outside/keep.txt", "keep");
    fs::create_directory_symlink(dir / "outside", root / "WORK/link");
    EXPECT_TRUE(DeleteMirrorTree(dir / "CTR/CTR_00A1"));
    EXPECT_FALSE(fs::exists(dir / "CTR/CTR_00A1"));
    EXPECT_EQ(ReadFile(dir / "outside/keep.txt"), "keep");
    EXPECT_TRUE(DeleteMirrorTree(dir / "CTR/CTR_00A1"));  // nothing there: done
}

// The exact bytes of every command the server queues, with nothing else left in the inbox (no
// temporary file); a command without a file name gets a unique one; a value may hold "=" (the
// name ends at the first one) and is escaped.
TEST(ServiceCommand, ExactBytesAndUniqueNames) {
    TempDir dir;
    CreateMirrorFolders(dir.path(), "00A1");
    QueueRegistrationCommands(dir.path(), "00A1");
    QueueRefreshMeter(dir.path(), "00A1", "0A1B2C3D");
    QueueDeleteMeter(dir.path(), "00A1", "ANY");
    QueueDeleteFile(dir.path(), "00A1", "w-0F3A00C1B2D49E07.xml");
    // A pending clock command is replaced by the next.
    const auto noon = std::chrono::system_clock::from_time_t(1796479389);  // 2026-12-05 14:03:09
    QueueSetUTC(dir.path(), "00A1", noon);
    QueueSetUTC(dir.path(), "00A1", noon + std::chrono::hours(1));
    const std::string used = WriteServiceCommand(dir.path(), "00A1", {"Var=A=B&'"}, "");
    const std::regex shape("w-[0-9A-F]{16}\\.xml");
    EXPECT_TRUE(std::regex_match(used, shape)) << used;
    const auto command = [](const std::string& req) {
        return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<root>\r\n  <workUID "
               "Value=\"0\"/>\r\n"
               "  <command>\r\n    <req " +
               req + "/>\r\n  </command>\r\n</root>\r\n\r\n";
    };
    EXPECT_EQ(
        Tree(dir / "CTR/CTR_00A1/ROOT/WORK/INBOX"),
        (std::map<std::string, std::string>{
            {"FullSync.xml", command("Var=\"FullSync\" OpCode=\"W\"")},
            {"SetUTC.xml", command("Var=\"SetUTC\" OpCode=\"W\" Value=\"2026-12-05-15-03-09\"")},
            {"GetProfile.xml", command("Var=\"GetProfile\" OpCode=\"R\"")},
            {"GetParams.xml", command("Var=\"GetParams\" OpCode=\"R\"")},
            {"RefreshMeter_0A1B2C3D.xml",
             command("Var=\"RefreshMeter\" OpCode=\"W\" Value=\"0A1B2C3D\"")},
            {"DeleteMeter_ANY.xml", command("Var=\"DeleteMeter\" OpCode=\"W\" Value=\"ANY\"")},
            {"DeleteFile_w-0F3A00C1B2D49E07.xml.xml",
             command("Var=\"DeleteFile\" OpCode=\"W\" "
                     "Value=\"ROOT\\WORK\\PERIODIC\\w-0F3A00C1B2D49E07.xml\"")},
            {used, command("Var=\"A=B&amp;&apos;\"")}}));

    std::set<std::string> names;
    for (int i = 0; i < 200; ++i) {
        names.insert(MakeUniqueFileName("x_"));
    }
    EXPECT_EQ(names.size(), 200u);  // back-to-back calls still differ
}

TEST(ServiceCommand, FailuresAreRaisedAndNothingIsWritten) {
    TempDir dir;
    // No mirror: the builder creates no folders.
    EXPECT_THROW(QueueFullSync(dir.path(), "00A1"), EInOutError);
    EXPECT_FALSE(fs::exists(dir / "CTR"));
    // A target read from the database can never steer the write out of the inbox.
    CreateMirrorFolders(dir.path(), "00A1");
    const auto before = Tree(dir.path());
    EXPECT_THROW(QueueRefreshMeter(dir.path(), "00A1", "../../x"), EInOutError);
    EXPECT_THROW(QueueRefreshMeter(dir.path(), "../CTR_00A1", "x"), EInOutError);
    EXPECT_THROW(WriteServiceCommand(dir.path(), "00A1", {"Var=X"}, ".."), EInOutError);
    EXPECT_EQ(Tree(dir.path()), before);
}

TEST(ReceivedFiles, ClassificationAndProfileNames) {
    const std::vector<std::pair<std::string, ReceivedKind>> kinds = {
        {"ROOT\\WORK\\OUTBOX\\r.xml", ReceivedKind::Result},
        {"ROOT\\INFO\\METERS\\meters.xml", ReceivedKind::MeterList},
        {"ROOT\\INFO\\METERS\\noise.xml", ReceivedKind::Noise},
        {"ROOT\\INFO\\METERS\\Noise.xml", ReceivedKind::MeterList},
        {"ROOT\\INFO\\PROFILES\\p.xml", ReceivedKind::Profile},
        {"ROOT\\WORK\\PERIODIC\\w.xml", ReceivedKind::Periodic},
        {"root\\WORK\\OUTBOX\\r.xml", ReceivedKind::Other},
        {"ROOT\\WORK\\INBOX\\w.xml", ReceivedKind::Other}};
    for (const auto& [path, kind] : kinds) {
        EXPECT_EQ(ClassifyLinkPath(path), kind) << path;
    }
    // Up to 8 characters each, whatever they are.
    for (const auto& [name, parts] : std::vector<std::pair<std::string, std::string>>{
             {"profile-0000ABCD-00001234.xml", "0000ABCD 00001234"},
             {"profile-1-2.xml", "1-2.xml 2.xml"},
             {"profile-1.xml", "none"},
             {"profile.xml", "none"}}) {
        std::string project, profile;
        EXPECT_EQ(ParseProfileName(name, project, profile) ? project + " " + profile : "none",
                  parts);
    }
}

TEST(ReceivedFiles, StoringHandlerWritesWhatBelongsInTheMirror) {
    TempDir dir;
    CreateMirrorFolders(dir.path(), "00A1");
    const fs::path mirror = dir / "CTR/CTR_00A1";
    StoreReceivedFilesHandler handler;
    auto handle = [&](const std::string& linkPath, const std::string& bytes) {
        ReceivedFile file;
        file.kind = ClassifyLinkPath(linkPath);
        file.mirrorPath = *MapLinkPath(mirror, linkPath);
        file.bytes = bytes;
        handler.HandleReceivedFile(file);
    };
    handle("ROOT\\WORK\\OUTBOX\\r.xml", "<r/>");
    handle("ROOT\\INFO\\METERS\\m.xml", "<m/>");
    handle("ROOT\\INFO\\METERS\\m.xml", "<m2/>");  // replaces
    handle("ROOT\\INFO\\METERS\\noise.xml", "<n/>");
    handle("ROOT\\WORK\\PERIODIC\\w-1.xml", "<w/>");
    handle("ROOT\\INFO\\PROFILES\\profile-0000ABCD-00001234.xml", "<p/>");
    handle("ROOT\\x.xml", "<x/>");
    // A folder that is not in the mirror can never hold the file.
    EXPECT_THROW(handle("ROOT\\INFO\\PROFILES\\sub\\y.xml", "<y/>"), EReceivedFileRejected);

    // The result and the file outside the folders are not stored; no temporary is left.
    EXPECT_EQ(Tree(mirror / "ROOT"), (std::map<std::string, std::string>{
                                         {"INFO/", ""},
                                         {"INFO/METERS/", ""},
                                         {"INFO/METERS/m.xml", "<m2/>"},
                                         {"INFO/METERS/noise.xml", "<n/>"},
                                         {"INFO/PROFILES/", ""},
                                         {"INFO/PROFILES/profile-0000ABCD-00001234.xml", "<p/>"},
                                         {"WORK/", ""},
                                         {"WORK/INBOX/", ""},
                                         {"WORK/OUTBOX/", ""},
                                         {"WORK/PERIODIC/", ""},
                                         {"WORK/PERIODIC/w-1.xml", "<w/>"}}));
}

}  // namespace
}  // namespace zb::link
