#pragma once
// A program directory in a temporary folder with the real base plug-in in DLL/ and description
// files written by the test; operator messages and log lines are recorded.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "base/operator_messages.h"
#include "devices/catalogue.h"
#include "testing/recorders.h"
#include "testing/temp_dir.h"

namespace zb::devices {

inline std::filesystem::path BuiltBasePlugIn() {
    return testing::BuiltProgramDir() / "DLL" / "ZarnicMaster_00xx.so";
}

class CatalogueTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(std::filesystem::exists(BuiltBasePlugIn())) << BuiltBasePlugIn();
        messages_ = std::make_shared<testing::MessageRecorder>();
        previousMessages_ = base::SetMessages(messages_);
        InstallPlugIn("ZarnicMaster_00xx.so");
    }
    void TearDown() override {
        ResetCatalogue();
        base::SetMessages(previousMessages_);
    }

    // The base plug-in under another library name (a link to the built file).
    void InstallPlugIn(const std::string& name) {
        std::filesystem::create_directories(dir_ / "DLL");
        std::filesystem::create_symlink(BuiltBasePlugIn(), dir_ / "DLL" / name);
    }
    void WriteDescription(const std::string& code, const std::string& body) {
        testing::WriteFile(
            dir_ / "XML.ZARNIC" / (code + ".ZARNIC.xml"),
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<ZARNIC>\r\n" + body + "</ZARNIC>\r\n");
    }
    void WriteExtension(const std::string& code, const std::string& body) {
        testing::WriteFile(dir_ / "XML.ZarnicMaster" / (code + ".ZarnicMaster.xml"),
                           "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<ZarnicMaster>\r\n" +
                               body + "</ZarnicMaster>\r\n");
    }
    void Load(bool buildGroups = false) { LoadCatalogue(dir_.path(), buildGroups); }
    TVar& Var(const std::string& title) {
        TVar* var = FindVarByTitle(VarRoot(), title);
        if (var == nullptr) {
            throw std::runtime_error("no variable " + title);
        }
        return *var;
    }

    testing::TempDir dir_;
    std::shared_ptr<testing::MessageRecorder> messages_;
    std::shared_ptr<base::OperatorMessages> previousMessages_;
};

}  // namespace zb::devices
