// Random documents through the real XML tree into the three importers (result files with their
// commands, meter lists, noise reports), against a database in a temporary program directory.
// The first byte of the input picks the importer; the rest is the document.
//
// Besides the sanitizers, every input is checked for what a received file must never do: reach
// rows it has no business with (the concentrator rows, the operators, the measuring points of
// another concentrator) or a file outside its concentrator's mirror. Each input is applied in a
// transaction that is rolled back, so every input meets the same database.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "devices/catalogue.h"
#include "devices/value_formats.h"
#include "inbound/inbound_context.h"
#include "inbound/meter_inventory.h"
#include "inbound/result_file.h"
#include "link/mirror.h"
#include "storage/schema.h"
#include "storage/sqlite_database.h"
#include "xml/xml_tree.h"

namespace {

namespace fs = std::filesystem;

struct World {
    fs::path dir;
    fs::path sentinel;
    int64_t otherPoints = 0;
};

void WriteText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

int64_t Count(const std::string& sql) {
    return zb::storage::Database().QueryTable(sql)->FieldInt64(0);
}

World& TheWorld() {
    static World world = [] {
        World w;
        w.dir = fs::temp_directory_path() / ("zb-inbound-fuzz-" + std::to_string(getpid()));
        fs::remove_all(w.dir);
        WriteText(w.dir / "XML.ZARNIC" / "0000.ZARNIC.xml",
                  "<ZARNIC>\r\n"
                  "  <var VID=\"00000001\" Name=\"SerialNumber\" TypeCode=\"50\"/>\r\n"
                  "  <var VID=\"00000002\" Name=\"LocalTime\" TypeCode=\"2A\"/>\r\n"
                  "  <var VID=\"00000003\" Name=\"Energy\" TypeCode=\"24\"/>\r\n"
                  "  <var VID=\"00000004\" Name=\"Table\" TypeCode=\"68\"/>\r\n"
                  "  <var VID=\"00000300\" Name=\"EnergyArchive\" TypeCode=\"41\"/>\r\n"
                  "</ZARNIC>\r\n");
        std::error_code ignored;
        fs::create_directories(w.dir / "DLL");
        fs::copy_file(fs::path(ZB_BUILT_PROGRAM_DIR) / "DLL" / "ZarnicMaster_00xx.so",
                      w.dir / "DLL" / "ZarnicMaster_00xx.so", ignored);
        zb::devices::LoadCatalogue(w.dir);
        zb::link::CreateMirrorFolders(w.dir, "00A1");
        zb::link::CreateMirrorFolders(w.dir, "00B2");
        w.sentinel = w.dir / "CTR" / "CTR_00B2" / "ROOT" / "WORK" / "PERIODIC" / "w.xml";
        WriteText(w.sentinel, "<work/>");
        WriteText(w.dir / "CTR" / "CTR_00A1" / "ROOT" / "WORK" / "PERIODIC" / "w.xml", "<work/>");

        bool created = false;
        zb::storage::SetDatabase(
            zb::storage::OpenProgramDatabase((w.dir / "ZarnicBox.db").string(), created));
        auto& db = zb::storage::Database();
        db.ExecuteSql("PRAGMA synchronous=OFF");
        db.ExecuteSql("INSERT into CTR (ID) values('00A1')");
        db.ExecuteSql("INSERT into CTR (ID) values('00B2')");
        for (const char* point : {"(1,'0000000A')", "(1,'0000000B')", "(0,'0000000C')",
                                  "(2,'0000000A')", "(2,'0000000D')"}) {
            db.ExecuteSql(std::string("INSERT into MeasuringPoint (CtrUID,MeterADDR) values") +
                          point);
        }
        w.otherPoints = Count("SELECT count(*) from MeasuringPoint WHERE CtrUID=2");
        return w;
    }();
    // Registered after the world is made, so it runs before the world goes away.
    static const bool cleanup = std::atexit([] {
                                    std::error_code ignored;
                                    fs::remove_all(TheWorld().dir, ignored);
                                }) == 0;
    (void)cleanup;
    return world;
}

// A result file may delete a periodic work's copy, never a folder of the mirror.
bool MirrorIntact(const fs::path& dir) {
    for (const char* folder :
         {"WORK/INBOX", "WORK/OUTBOX", "WORK/PERIODIC", "INFO/METERS", "INFO/PROFILES"}) {
        if (!fs::is_directory(dir / "CTR" / "CTR_00A1" / "ROOT" / folder)) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    World& world = TheWorld();
    const int kind = data[0] % 3;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    auto& db = zb::storage::Database();
    zb::inbound::InboundContext context(db, world.dir);
    zb::storage::TSQLiteTransaction transaction(db);
    try {
        // Result files and meter lists are applied as they are parsed, the way the server reads
        // them.
        if (kind == 0) {
            zb::inbound::ProcessResultText(context, text, "00A1");
        } else if (kind == 1) {
            zb::inbound::ImportMeterInventoryText(context, text, "00A1");
        } else {
            zb::xml::TECXMLParser document;
            document.LoadFromString(text);
            zb::inbound::ImportNoise(context, *document.Root());
        }
    } catch (const zb::xml::EParserError&) {
        // The file is kept aside; what was applied of it is rolled back.
    } catch (const zb::inbound::EConvertError&) {
    } catch (const zb::devices::EInvalidArgument&) {
    } catch (const zb::storage::ESQLiteException&) {
        // A statement that SQLite refuses (a zero byte inside a value ends the text there) ends
        // the file like any database error; what counts is that nothing else was reached.
    }
    if (Count("SELECT count(*) from CTR") != 2 || Count("SELECT count(*) from Operator") != 1 ||
        Count("SELECT count(*) from MeasuringPoint WHERE CtrUID=2") < world.otherPoints ||
        !fs::exists(world.sentinel) || !MirrorIntact(world.dir)) {
        std::abort();
    }
    return 0;  // the transaction rolls back
}
