#pragma once
// The received data of the ingest benchmarks: a program directory with the base plug-in and a
// small catalogue, 100,000 measuring points, and a result file of ten answers per meter.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "link/mirror.h"
#include "storage/sqlite_database.h"

namespace zb::bench {

namespace fs = std::filesystem;

constexpr int kMeters = 10000;
constexpr int kPoints = 100000;

inline void WriteText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << text;
}

inline void PrepareProgramDir(const fs::path& dir) {
    WriteText(
        dir / "XML.ZARNIC" / "0000.ZARNIC.xml",
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<ZARNIC>\r\n"
        "  <var VID=\"00000001\" Name=\"SerialNumber\" TypeCode=\"50\" RAL=\"0\" WAL=\"8\"/>\r\n"
        "  <var VID=\"00000003\" Name=\"Energy\" TypeCode=\"24\" RAL=\"0\" WAL=\"2\"/>\r\n"
        "  <var VID=\"00000004\" Name=\"Table\" TypeCode=\"68\" RAL=\"0\" WAL=\"8\"/>\r\n"
        "  <var VID=\"00000300\" Name=\"EnergyArchive\" TypeCode=\"24\" RAL=\"0\" "
        "WAL=\"8\"/>\r\n"
        "</ZARNIC>\r\n");
    fs::create_directories(dir / "DLL");
    fs::copy_file(fs::path(ZB_BUILT_PROGRAM_DIR) / "DLL" / "ZarnicMaster_00xx.so",
                  dir / "DLL" / "ZarnicMaster_00xx.so", fs::copy_options::overwrite_existing);
    zb::link::CreateMirrorFolders(dir, "00A1");
}

inline std::string Meter(int i) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", 0x10000000 + i);
    return buf;
}

inline std::string Hex32(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02X%02X%02X%02X", v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF,
                  v >> 24);
    return buf;
}

inline std::string ResultFile(int meters = kMeters) {
    struct Request {
        const char* syntax;
        const char* req;
        int kind;  // 0 number, 1 table, 2 write, 3 archive, 4 plain
    };
    const Request requests[] = {
        {"ZARNIC", "Var=\"0000.Energy\" OpCode=\"R\"", 0},
        {"ZARNIC", "Var=\"0000.Energy\" OpCode=\"R\"", 0},
        {"ZARNIC", "Var=\"0000.Energy\" OpCode=\"R\"", 0},
        {"ZARNIC", "Var=\"0000.Table\" OpCode=\"R\"", 1},
        {"ZARNIC", "Var=\"0000.Energy\" OpCode=\"W\" Text=\"12345\"", 2},
        {"ZARNIC",
         "Var=\"0000.EnergyArchive\" OpCode=\"AR\" ArcType=\"0\" ArcInterval=\"30\" "
         "ArcOptions=\"0\"",
         3},
        {"ZARNIC",
         "Var=\"0000.EnergyArchive\" OpCode=\"AR\" ArcType=\"1\" ArcInterval=\"1\" "
         "ArcOptions=\"0\"",
         3},
        {"M-230", "Var=\"Energy\"", 4},
        {"M-230", "Var=\"Power\"", 4},
        {"M-200", "Var=\"Energy\"", 4},
    };
    std::string text =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<result>\r\n"
        "  <workUID Value=\"77\"/>\r\n";
    int taskUid = 100;
    for (const Request& request : requests) {
        text += "  <task TaskUID=\"" + std::to_string(taskUid++) + "\" Syntax=\"" + request.syntax +
                "\">\r\n    <req " + request.req + "/>\r\n";
        for (int m = 0; m < meters; ++m) {
            std::string value;
            switch (request.kind) {
                case 0:
                case 4:
                    value = Hex32(static_cast<uint32_t>(m * 7));
                    break;
                case 1:
                    value = std::string(16, '0') + Hex32(m) + Hex32(m + 1) + Hex32(m + 2);
                    break;
                case 2:
                    value = "";
                    break;
                case 3:
                    value = std::string(24, '0');
                    for (int r = 0; r < 4; ++r) {
                        value += Hex32(800000000 + r * 1800) + Hex32(800000000 + r * 1800 + 3) +
                                 Hex32(static_cast<uint32_t>(m + r));
                    }
                    break;
            }
            text += "    <ans Meter=\"" + Meter(m) + "\" Result=\"" +
                    (m % 50 == 0 ? "FAIL" : "DONE") +
                    "\" Time=\"2026-12-05-14-03-09\" AVID=\"1\" Value=\"" + value + "\"/>\r\n";
        }
        text += "  </task>\r\n";
    }
    return text + "</result>\r\n";
}

// 100,000 measuring points: the file's 10,000 meters on concentrator 00A1, the rest on ninety
// others; and 10,000 points registered by an operator and still unassigned.
inline void AddMeasuringPoints(storage::TSQLiteDatabase& db) {
    {
        storage::TSQLiteTransaction transaction(db);
        storage::TSQLiteStatement ctr(db, "INSERT into CTR (ID) values(?)");
        for (int c = 0; c < 91; ++c) {
            char id[8];
            std::snprintf(id, sizeof id, "%04X", 0xA1 + c);
            ctr.BindStoredText(1, id).Execute();
        }
        storage::TSQLiteStatement point(
            db, "INSERT into MeasuringPoint (CtrUID,MeterADDR,CustomGroupUID) values(?,?,'0')");
        for (int p = 0; p < kPoints; ++p) {
            const int ctr = p < kMeters ? 1 : 2 + (p % 90);
            point.BindInt(1, ctr).BindStoredText(2, Meter(p)).Execute();
        }
        for (int m = 0; m < kMeters; ++m) {
            point.BindInt(1, 0).BindStoredText(2, Meter(2 * kPoints + m)).Execute();
        }
        transaction.Commit();
    }
}

}  // namespace zb::bench
