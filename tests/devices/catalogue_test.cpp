// Loading the description catalogue from a program directory (the order and words of the log,
// extensions, libraries), and the parameter model it builds (pending texts, look-ups, type
// tables, archive descriptors).
#include <gtest/gtest.h>
#include <cstdio>
#include <vector>

#include "catalogue_fixture.h"
#include "devices/parameter_model.h"
#include "devices/value_formats.h"

namespace zb::devices {
namespace {

using Lines = std::vector<std::string>;

// The settings of a variable in one line: identifier, read and write levels, type code, length,
// count, decimals, edit kind, hidden flag, whether it has a read encoder.
std::string Settings(const TVar& v) {
    char text[160];
    std::snprintf(text, sizeof text, "%08X R%d W%d T%X L%d N%d D%d E%d H%d RE%d", v.VID(),
                  v.ReadLevel(), v.WriteLevel(), v.TypeCode(), v.VarLen(), v.VarCount(), v.D(),
                  v.EditKind(), v.Hidden(), v.Procs().RE != nullptr);
    return text;
}

const char* const kServiceVars =
    "  <ExtensionTitle Value=\"Служебные\"/>\r\n"
    "  <var VID=\"00000001\" Name=\"SerialNumber\" RAL=\"0\" TypeCode=\"50\" VarLen=\"16\" "
    "Caption=\"Серийный номер\"/>\r\n";

TEST_F(CatalogueTest, LibrariesFilesHeadersAndVariablesLoadInOrder) {
    InstallPlugIn("ZarnicMaster_01xx.so");
    WriteDescription("0000", kServiceVars);
    WriteDescription("0001",
                     "  <ExtensionTitle Value=\"Счётчик\"/>\r\n"
                     "  <var VID=\"00010002\" Name=\"Energy\" RAL=\"1\" WAL=\"2\" TypeCode=\"42\" "
                     "VarLen=\"8\" VarCount=\"1\" Caption=\"Энергия\" Units=\"кВт·ч\" D=\"3\"/>\r\n"
                     "  <var VID=\"00010003\"/>\r\n"
                     "  <var VID=\"00010004\"/>\r\n"
                     "  <other VID=\"00010005\" Name=\"Ignored\"/>\r\n");
    WriteExtension("0001", "  <var VID=\"00010002\" D=\"4\"/>\r\n");
    WriteDescription("0100", "  <var VID=\"01000001\" Name=\"X\"/>\r\n");
    // File names are matched without regard to letter case; other names are no descriptions.
    // Without a title the variables sit at the top, titled by their identifier's prefix.
    WriteDescription("00aa", "  <var VID=\"00AB0001\" Name=\"Lower\" RAL=\"0\"/>\r\n");
    for (const char* name : {"ZARNIC.xml", "a.xml", "0000.backup.xml", "0001.ZARNIC.txt"}) {
        testing::WriteFile(dir_ / "XML.ZARNIC" / name, "<x/>\r\n");
    }
    testing::LogRecorder log;
    Load();
    EXPECT_EQ(log.lines(), (Lines{
                               "Dll-библиотека \"ZarnicMaster_00xx.so\" - OK",
                               "\"0000.ZARNIC.xml\" - \"Служебные\" - OK",
                               "",
                               "\"0001.ZARNIC.xml\" - \"Счётчик\" - OK",
                               "\"0001.ZarnicMaster.xml\" - OK",
                               "",
                               "\"00AA.ZARNIC.xml\" - OK",
                               " ",
                               "Dll-библиотека \"ZarnicMaster_01xx.so\" - OK",
                               "\"0100.ZARNIC.xml\" - OK",
                           }));
    EXPECT_TRUE(messages_->warnings().empty());
    EXPECT_EQ(FindLoadedLibrary("ZarnicMaster_00xx.so"), BaseModule());
    EXPECT_NE(FindLoadedLibrary("ZarnicMaster_01xx.so"), nullptr);
    EXPECT_EQ(FindLoadedLibrary("ZarnicMaster_02xx.so"), nullptr);

    const auto classes = CatalogueClasses();
    ASSERT_EQ(classes.size(), 4u);
    auto* header = classes[1];
    ASSERT_EQ(header->Class(), EntryClass::VarHeader);
    EXPECT_EQ(header->LocalName() + " " + header->Title(), "0001.Header Счётчик");
    EXPECT_EQ(header->Tag(), 1);
    EXPECT_EQ(ClassVariables(*header).size(), 3u);
    TVar& energy = Var("0001.Energy");
    EXPECT_EQ(energy.Owner(), header);
    EXPECT_EQ(Settings(energy), "00010002 R1 W2 T42 L8 N1 D4 E1 H0 RE1");
    EXPECT_EQ(energy.Caption() + " " + energy.Units(), "Энергия кВт·ч");
    EXPECT_TRUE(energy.Procs().RD != nullptr && energy.Procs().ED != nullptr);
    // Without Name a variable is named by its position; without levels it is hidden.
    TVar& third = Var("0001.0002");
    EXPECT_EQ(Settings(third), "00010004 R8 W8 T0 L0 N0 D0 E1 H1 RE1");
    EXPECT_EQ(third.State(), nesGrayed);
    EXPECT_EQ(FindVarByVID(VarRoot(), 0x00010005), nullptr);
    EXPECT_EQ(classes[2]->Title(), "00AB.Lower");
    EXPECT_EQ(classes[2]->Class(), EntryClass::Var);
    EXPECT_EQ(static_cast<TVar*>(classes[2])->DeviceType(), 0xAA);
}

TEST_F(CatalogueTest, BrokenBaseDescriptionIsReported) {
    // A line longer than the reader's window makes the file unreadable.
    WriteDescription("0000", "  <var Name=\"" + std::string(5000, 'x') + "\"/>\r\n");
    WriteDescription("0001", "  <var Name=\"" + std::string(5000, 'x') + "\"/>\r\n");
    testing::LogRecorder log;
    Load();
    EXPECT_EQ(log.lines(),
              (Lines{"Dll-библиотека \"ZarnicMaster_00xx.so\" - OK",
                     "\"0000.ZARNIC.xml\" - ошибка в файле!", "Продолжение невозможно!", ""}));
    EXPECT_EQ(VarRoot().ChildCount(), 0u);
}

// A second library, written in C against the public header alone: its own exports win for its
// device types once an extension file names them, and the base module fills in the rest. The base
// module also stands in for a library that cannot be loaded and for a function that is missing.
TEST_F(CatalogueTest, OtherLibrariesServeTheirTypesAndBrokenOnesFallBack) {
    std::filesystem::create_symlink(ZB_TEST_PLUGIN, dir_ / "DLL" / "ZarnicMaster_05xx.so");
    testing::WriteFile(dir_ / "DLL" / "ZarnicMaster_02xx.so", "not a library");
    WriteDescription("0000", kServiceVars);
    WriteDescription("0201", "  <var VID=\"02010001\" Name=\"V\" RAL=\"0\" TypeCode=\"22\"/>\r\n");
    WriteExtension("0201", "  <var VID=\"02010001\" RE=\"NoSuchFunction\"/>\r\n");
    WriteDescription("0301", "  <var VID=\"03010001\" Name=\"W\" RAL=\"0\" TypeCode=\"22\"/>\r\n");
    const std::string temp =
        "  <var VID=\"0501\" Name=\"Temp\" RAL=\"0\" WAL=\"0\" TypeCode=\"32\" Units=\"°C\"/>\r\n";
    WriteDescription("0501", std::string(temp).replace(12, 4, "05010001"));
    WriteExtension("0501", "  <var VID=\"05010001\" RD=\"TenthsRD\"/>\r\n");
    WriteDescription("0502", std::string(temp).replace(12, 4, "05020001"));
    testing::LogRecorder log;
    Load();
    EXPECT_EQ(log.lines(), (Lines{
                               "Dll-библиотека \"ZarnicMaster_00xx.so\" - OK",
                               "\"0000.ZARNIC.xml\" - \"Служебные\" - OK",
                               " ",
                               "Dll-библиотека \"ZarnicMaster_02xx.so\" - загрузить не удалось!",
                               "\"0201.ZARNIC.xml\" - OK",
                               "\"0201.ZarnicMaster.xml\" - OK",
                               "\"0301.ZARNIC.xml\" - OK",
                               " ",
                               "Dll-библиотека \"ZarnicMaster_05xx.so\" - OK",
                               "\"0501.ZARNIC.xml\" - OK",
                               "\"0501.ZarnicMaster.xml\" - OK",
                               "",
                               "\"0502.ZARNIC.xml\" - OK",
                           }));
    EXPECT_EQ(EncodeVarValue("0201.V", "?"), "01000102");
    EXPECT_EQ(EncodeVarValue("0301.W", "?"), "01000103");
    EXPECT_EQ(DecodeVarAnswer("0301.W", "3412"), "4660");

    // With the extension: the library's own PlainRE and its TenthsRD; the base module's writer.
    EXPECT_EQ(EncodeVarValue("0501.Temp", "?"), "01000105BEBAFECA");
    EXPECT_EQ(DecodeVarAnswer("0501.Temp", "E7FF"), "-2.5 °C");
    EXPECT_EQ(DecodeVarAnswer("0501.Temp", "E600"), "23.0 °C");
    EXPECT_EQ(EncodeVarValue("0501.Temp", "-2"), "01000105FEFF0000");
    // Without an extension the variables keep the base module's defaults.
    EXPECT_EQ(EncodeVarValue("0502.Temp", "?"), "01000205");
    EXPECT_EQ(DecodeVarAnswer("0502.Temp", "E7FF"), "-25");
}

TEST_F(CatalogueTest, WithoutABaseModuleNothingCanBeEncoded) {
    std::filesystem::remove(dir_ / "DLL" / "ZarnicMaster_00xx.so");
    WriteDescription("0000", kServiceVars);
    testing::LogRecorder log;
    Load();
    EXPECT_EQ(log.lines(), (Lines{"\"0000.ZARNIC.xml\" - \"Служебные\" - OK"}));
    EXPECT_EQ(BaseModule(), nullptr);
    EXPECT_EQ(EncodeVarValue("0000.SerialNumber", "?"), "");
    EXPECT_EQ(DecodeVarAnswer("0000.SerialNumber", "0141"), "0141");
}

TEST_F(CatalogueTest, ExtensionChangesOnlyWhatItNamesGroupsAndBadAttributesWarn) {
    WriteDescription("0000", kServiceVars);
    // A broken extension is logged and its description stays as it was.
    WriteExtension("0000", "  <var VID=\"00000001\" EH=\"" + std::string(5000, 'x') + "\"/>\r\n");
    WriteDescription("0001",
                     "  <ExtensionTitle Value=\"Счётчик\"/>\r\n"
                     "  <var VID=\"00010001\" Name=\"A\" RAL=\"0\" WAL=\"0\" D=\"1\"/>\r\n"
                     "  <var VID=\"00010002\" Name=\"B\" RAL=\"0\" WAL=\"0\"/>\r\n"
                     "  <var VID=\"00010003\" Name=\"C\" RAL=\"0\" WAL=\"0\"/>\r\n"
                     "  <var VID=\"00010004\" Name=\"Bad\" RAL=\"zero\" WAL=\"1\"/>\r\n"
                     "  <var VID=\"00010005\" Name=\"Huge\" RAL=\"0\" VarLen=\"99999999999\"/>\r\n"
                     "  <var VID=\"00010006\" Name=\"Good\" RAL=\"0\" WAL=\" 1 \" D=\"-5\"/>\r\n"
                     "  <var VID=\"00010011\" Name=\"Total\" RAL=\"0\"/>\r\n"
                     "  <var VID=\"00010012\" Name=\"T1\" RAL=\"0\"/>\r\n"
                     "  <var VID=\"00010013\" Name=\"T2\" RAL=\"0\"/>\r\n"
                     "  <var VID=\"00010014\" Name=\"Loop\" RAL=\"0\"/>\r\n");
    WriteExtension("0001",
                   "  <var VID=\"00010001\" RAL=\"2\" WAL=\"3\" D=\"7\" F=\"%.3f\" U=\"1\" "
                   "EH=\"Первая\\строка\\..\\вторая\" EE=\"Текст\" EA=\"Date\" RD=\"PlainED\"/>\r\n"
                   "  <var VID=\"00010002\" U=\"0\" EA=\"Other\" WAL=\"x\" D=\"9\"/>\r\n"
                   "  <var VID=\"00019999\" RAL=\"1\"/>\r\n"
                   "  <var VID=\"00010003\" D=\"4\"/>\r\n"
                   "  <var VID=\"00010011\" Group=\"Энергия\"/>\r\n"
                   "  <var VID=\"00010012\" Group=\"Энергия\\Тарифы\"/>\r\n"
                   "  <var VID=\"00010013\" Group=\"Энергия\\..\\Тарифы\"/>\r\n"
                   "  <var VID=\"00010014\" Group=\"0001.Loop\"/>\r\n");
    testing::LogRecorder log;
    Load(true);
    EXPECT_TRUE(log.Contains("\"0000.ZarnicMaster.xml\" - ошибка в файле!"));
    EXPECT_EQ(Var("0000.SerialNumber").EH(), "");
    TVar& a = Var("0001.A");
    EXPECT_EQ(Settings(a), "00010001 R2 W3 T0 L0 N0 D7 E2 H1 RE1");
    EXPECT_EQ(a.F() + " " + a.EE(), "%.3f Текст");
    EXPECT_EQ(a.EH(), "Первая\r\nстрока\r\nвторая");
    EXPECT_EQ(reinterpret_cast<void*>(a.Procs().RD), ResolvePlugInProc(nullptr, "PlainED", ""));

    // A bad attribute warns, in a description or an extension; what came before it stays, a bad
    // variable of a description gets no functions, and the next variable loads.
    EXPECT_EQ(messages_->warnings(),
              (Lines{"Синтаксическая ошибка! \"0001.Bad\"", "Синтаксическая ошибка! \"0001.Huge\"",
                     "Синтаксическая ошибка! \"0001.B\""}));
    EXPECT_EQ(Settings(Var("0001.B")), "00010002 R0 W0 T0 L0 N0 D0 E1 H0 RE1");
    EXPECT_EQ(Settings(Var("0001.Bad")), "00010004 R8 W8 T0 L0 N0 D0 E0 H0 RE0");
    EXPECT_EQ(EncodeVarValue("0001.Bad", "?"), "");
    EXPECT_EQ(Settings(Var("0001.Good")), "00010006 R0 W1 T0 L0 N0 D-5 E1 H0 RE1");

    // The unknown identifier changed nothing, and the variable after it was still applied.
    EXPECT_EQ(Settings(Var("0001.C")), "00010003 R0 W0 T0 L0 N0 D4 E1 H0 RE1");
    EXPECT_TRUE(log.Contains("\"0001.ZarnicMaster.xml\" - OK"));

    // Groups nest at each backslash, are shared, and are built only when asked.
    TNodeEntry* header = CatalogueClasses().at(1);
    TNodeEntry* energy = Var("0001.Total").Owner();
    ASSERT_EQ(energy->Class(), EntryClass::VarHeader);
    EXPECT_EQ(energy->Title() + " " + energy->LocalName(), "Энергия Энергия");
    EXPECT_EQ(energy->Owner(), header);
    TNodeEntry* tariffs = Var("0001.T1").Owner();
    EXPECT_EQ(tariffs->Title() + " " + tariffs->Owner()->Title(), "Тарифы Энергия");
    EXPECT_EQ(Var("0001.T2").Owner(), tariffs);
    // A group named like a variable is a new group, never the variable itself.
    TVar& loop = Var("0001.Loop");
    EXPECT_EQ(loop.Owner()->Class(), EntryClass::VarHeader);
    EXPECT_EQ(loop.Owner()->Owner(), header);
    Load(false);
    EXPECT_EQ(Var("0001.T2").Owner(), CatalogueClasses().at(1));
}

TEST_F(CatalogueTest, ShippedCatalogueLoadsCleanly) {
    testing::LogRecorder log;
    LoadCatalogue(testing::BuiltProgramDir());
    EXPECT_EQ(log.lines(), (Lines{
                               "Dll-библиотека \"ZarnicMaster_00xx.so\" - OK",
                               "\"0000.ZARNIC.xml\" - \"Служебные параметры\" - OK",
                               "\"0000.ZarnicMaster.xml\" - OK",
                               "",
                               "\"0001.ZARNIC.xml\" - \"Счётчик ZM-3 трёхфазный\" - OK",
                               "\"0001.ZarnicMaster.xml\" - OK",
                           }));
    EXPECT_TRUE(messages_->warnings().empty());
}

TVar* AddVar(TNodeEntry& parent, const std::string& title, uint32_t vid = 0) {
    auto* var = parent.NewChild<TVar>();
    var->SetTitle(title);
    var->SetVID(vid);
    return var;
}

TEST(ParameterModel, PendingTextKeepsTheLineCount) {
    TVar var;
    var.SetOpRes("DONE");
    var.SetText("1\r\n2\r\n3\r\n");
    EXPECT_EQ(var.OpRes(), "DONE");  // an ordinary text leaves the result alone
    var.SetText("***");
    EXPECT_EQ(var.Text(), "***\r\n\r\n\r\n");
    EXPECT_EQ(var.OpRes(), "***");

    var.SetText("one line without break");
    var.SetText("***");
    EXPECT_EQ(var.Text(), "***\r\n");
}

TEST(ParameterModel, LookUpsAreDepthFirstAndClassExact) {
    TTreeEntry root;
    auto* header = root.NewChild<TVarHeader>();
    header->SetTitle("0001.Energy");  // never matches a variable look-up
    auto* group = header->NewChild<TVarHeader>();
    TVar* deep = AddVar(*group, "0001.Energy", 0x00010002);
    AddVar(root, "0001.Energy", 0x00010002);
    auto* arch = root.NewChild<TArch>();
    arch->SetTitle("0001.Arch");
    arch->SetVID(0x00010099);

    EXPECT_EQ(FindVarByTitle(root, "0001.Energy"), deep);
    EXPECT_EQ(FindVarByVID(root, 0x00010002), deep);
    EXPECT_EQ(FindVarByTitle(root, "0001.energy"), nullptr);  // titles compare exactly
    EXPECT_EQ(FindVarByTitle(root, "0001.Arch"), nullptr);    // a TArch is not a TVar
    EXPECT_EQ(FindVarByVID(root, 0x00010099), nullptr);
}

TEST(ParameterModel, TypeCodesOutsideTheTableNeverWrapIntoIt) {
    const std::pair<int, const char*> names[] = {
        {0x14, "frame/byte4"}, {0x15, "unknown"}, {0x129, "unknown"}, {-1, "unknown"}};
    for (const auto& [code, name] : names) {
        EXPECT_EQ(TypeName(code), name) << code;
    }
    EXPECT_TRUE(IsFunctionType(0x60) && IsFunctionType(0x68));
    EXPECT_FALSE(IsFunctionType(0x50) || IsFunctionType(0x160));
    EXPECT_EQ(AccessModeOfLevel(int64_t{1} << 40), -1);
}

TEST(ArchiveDescriptor, RecordsGiveTheTextAndBadInputWhatWasRead) {
    // Header words "00000100" (tag 0, one word) and "01000100" (tag 1, one word), little-endian.
    const std::pair<std::string, const char*> cases[] = {
        // IMAX; 1 day, offset -3 hours / IMIN; 15 minutes, +2 hours / D without interval
        {"00000100A0050005 01000100 020101FD", "0/1440, IMAX [1 сут] -3 час"},
        {"00000100A0050004 01000100 000F0102", "0/1440, IMIN [15 мин] +2 час"},
        {"00000100A0050001", "0/1440, D"},
        // top bit is the flag, not part of the type; depth is 24 bits
        {"00000100 FFFFFF83", "0/16777215, LOG"},
        // the record claims 5 words but only 1 follows: nothing of it is read
        {"00000500 A0050000", "0/0 [0 мин]"},
        // an unknown tag stops the reading; the interval record after it is not read
        {"00000100A0050000 07000100 11111111 01000100 001E0000", "0/1440 [0 мин]"},
        // a type or unit outside the tables gives the counts alone
        {"00000100A0050006", "0/1440"},
        {"00000100A0050000 01000100 061E0000", "0/1440"},
        // longer than 256 bytes: read up to 256 bytes without overrunning
        {"0000FF00" + std::string(2000, 'A'), "0/0 [0 мин]"}};
    for (const auto& [hex, text] : cases) {
        TArch arch;
        arch.ReadDescriptor(hex);
        EXPECT_EQ(arch.PropertyStr(), text) << hex;
    }
}

}  // namespace
}  // namespace zb::devices
