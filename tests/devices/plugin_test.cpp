// A second library, written in C against the public header alone: its own exports win for its
// device types once an extension file names them, and the base module fills in the rest.
#include <gtest/gtest.h>

#include "catalogue_fixture.h"
#include "devices/value_formats.h"

namespace zb::devices {
namespace {

TEST_F(CatalogueTest, ThirdPartyLibraryServesItsTypes) {
    std::filesystem::create_directories(dir_ / "DLL");
    std::filesystem::create_symlink(ZB_TEST_PLUGIN, dir_ / "DLL" / "ZarnicMaster_05xx.so");
    WriteDescription("0000", "  <var VID=\"00000001\" Name=\"S\" RAL=\"0\" TypeCode=\"50\"/>\r\n");
    WriteDescription("0501",
                     "  <var VID=\"05010001\" Name=\"Temp\" RAL=\"0\" WAL=\"0\" "
                     "TypeCode=\"32\" Units=\"°C\"/>\r\n");
    WriteExtension("0501", "  <var VID=\"05010001\" RD=\"TenthsRD\"/>\r\n");
    WriteDescription("0502",
                     "  <var VID=\"05020001\" Name=\"Temp\" RAL=\"0\" WAL=\"0\" "
                     "TypeCode=\"32\" Units=\"°C\"/>\r\n");
    testing::LogRecorder log;
    Load();
    EXPECT_TRUE(log.Contains("Dll-библиотека \"ZarnicMaster_05xx.so\" - OK"));
    void* library = FindLoadedLibrary("ZarnicMaster_05xx.so");
    ASSERT_NE(library, nullptr);
    EXPECT_NE(library, BaseModule());

    // With the extension: the library's own PlainRE and its TenthsRD; the base module's writer.
    EXPECT_EQ(EncodeVarValue("0501.Temp", "?"), "01000105BEBAFECA");
    EXPECT_EQ(DecodeVarAnswer("0501.Temp", "E7FF"), "-2.5 °C");
    EXPECT_EQ(DecodeVarAnswer("0501.Temp", "E600"), "23.0 °C");
    EXPECT_EQ(EncodeVarValue("0501.Temp", "-2"), "01000105FEFF0000");

    // Without an extension the variables keep the base module's defaults.
    EXPECT_EQ(EncodeVarValue("0502.Temp", "?"), "01000205");
    EXPECT_EQ(DecodeVarAnswer("0502.Temp", "E7FF"), "-25");
}

}  // namespace
}  // namespace zb::devices
