// The rules of the ZARNIC page over the shipped catalogue with the real base plug-in.
#include <gtest/gtest.h>

#include "devices/catalogue.h"
#include "devices/parameter_model.h"
#include "testing/temp_dir.h"
#include "work/work_library.h"

namespace zb::work {
namespace {

using Texts = std::vector<std::string>;

class ZarnicEditorTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { devices::LoadCatalogue(testing::BuiltProgramDir(), true); }
    static void TearDownTestSuite() { devices::ResetCatalogue(); }

    // Chooses a variable of the shipped catalogue as the operator does: group, then variable.
    void Choose(const std::string& title) {
        editor_.Reset();
        devices::TVar* var = devices::FindVarByTitle(devices::VarRoot(), title);
        ASSERT_NE(var, nullptr) << title;
        for (size_t g = 0; g < editor_.groups().size(); ++g) {
            editor_.ChangeGroup(static_cast<int>(g));
            const auto& vars = page().variables;
            const auto at = std::find(vars.begin(), vars.end(), var);
            if (at != vars.end()) {
                editor_.ChangeVariable(static_cast<int>(at - vars.begin()));
                return;
            }
        }
        FAIL() << title << " is in no group";
    }
    const ZarnicPage& page() const { return editor_.page(); }

    ZarnicEditor editor_{CatalogueGroups()};
};

TEST(ZarnicRules, ActionItemsFollowTheAccessLevels) {
    const struct {
        int32_t read, write;
        Texts items;
    } rows[] = {{0, 2, {kActionRead, kActionWrite}},
                {1, 8, {kActionRead}},
                {8, 3, {kActionWrite}},
                {9, 8, {}},
                {7, 7, {kActionRead, kActionWrite}}};
    for (const auto& row : rows) {
        devices::TVar var;
        var.SetReadLevel(row.read);
        var.SetWriteLevel(row.write);
        EXPECT_EQ(ActionItems(var), row.items) << row.read << "/" << row.write;
    }
}

TEST_F(ZarnicEditorTest, AnEventVariableIsReadAsItsLogOnly) {
    Choose("0000.EventLog");
    // Archive target, target, action and archive type fixed, no accumulation interval.
    EXPECT_EQ((std::vector<bool>{page().archiveTarget, page().targetEnabled, page().actionEnabled,
                                 page().archiveTypeEnabled, page().accumulationShown}),
              (std::vector<bool>{true, false, false, false, false}));
    EXPECT_EQ(page().archiveTypes, Texts{EventArchiveCaption()});
    const TaskRequest task = editor_.Build(3);
    EXPECT_EQ((Texts{task.opCode, task.arcType, TaskRowComment(task)}),
              (Texts{"AR", "LOG", "AR LOG"}));
    EXPECT_EQ(BuildTaskXml(task).find("ArcInterval"), std::string::npos);
}

TEST_F(ZarnicEditorTest, AWriteIsNeverAnArchiveReadAndNoActionBuildsNothing) {
    Choose("0001.PowerLimit");
    EXPECT_FALSE(page().newValueShown);  // a plain read takes no argument
    editor_.ChangeAction(1);
    EXPECT_FALSE(page().targetEnabled);
    EXPECT_TRUE(page().newValueShown);
    Choose("0000.ServiceKey");  // neither level below 8
    EXPECT_TRUE(page().actions.empty());
    EXPECT_THROW(editor_.Build(3), std::out_of_range);
    // A group that begins with it (the extension files move the others into groups after it)
    // opens on the first variable that can be requested.
    editor_.Reset();
    ASSERT_EQ(page().variables.front()->Title(), "0000.ServiceKey");
    EXPECT_EQ(editor_.Build(3).var, "0000.SerialNumber");
}

// Requests built as the operator composes them, with the bytes the base plug-in encodes, load
// back into the page unchanged.
TEST_F(ZarnicEditorTest, BuiltRequestsLoadBackUnchanged) {
    struct Case {
        std::string title;
        bool archive;
        int action, archiveType, factor;
        std::string value, bytes;
    };
    const Case cases[] = {
        // A function read carries its argument: "5" CR LF "?".
        {"0000.ReadRegister", false, 0, 0, 1, "5", "Text=\"5\" Value=\"0002000005000000\""},
        {"0001.PowerLimit", false, 1, 0, 1, "4660",
         "OpCode=\"W\" Text=\"4660\" Value=\"3000010034120000\" MaxAttempts=\"42\""},
        {"0001.EnergyImport", true, 0, 3, 30, "", "ArcType=\"IMIN\" ArcInterval=\"30 MIN\""},
        {"0001.EnergyExport", true, 0, 2, 1, "", "ArcType=\"F\" Start=\"DAY-7\""},
        {"0000.AccessLog", true, 0, 0, 1, "", "ArcType=\"LOG\""},
        // Several lines travel with backslashes in Text and as one value.
        {"0001.TariffZones", false, 1, 0, 1, "00000001\r\n07000002\r\n17000001\r\n23000001",
         "Text=\"00000001\\07000002\\17000001\\23000001\" "
         "Value=\"3500010000000001070000021700000123000001\""},
        {"0000.TimeCorrection", false, 1, 0, 1, "1\r\n2", "OpCode=\"W\" Text=\"1\\2\""}};
    for (const Case& c : cases) {
        Choose(c.title);
        if (c.archive && page().targetEnabled) {
            editor_.ChangeTarget(true);
        }
        if (!c.archive) {
            editor_.ChangeAction(c.action);
        }
        editor_.ChangeArchiveType(c.archiveType);
        editor_.fields().accumulationFactor = c.factor;
        editor_.fields().accumulationCode = "MIN";
        editor_.fields().start = "DAY-7";
        editor_.fields().newValue = c.value;
        const std::string xml = BuildTaskXml(editor_.Build(42));
        EXPECT_NE(xml.find(c.bytes), std::string::npos) << xml;

        ZarnicEditor reloaded(CatalogueGroups());
        ASSERT_TRUE(reloaded.Load(ReadTaskXml(xml))) << c.title;
        EXPECT_EQ(BuildTaskXml(reloaded.Build(ReadTaskXml(xml).maxAttempts)), xml) << c.title;
        EXPECT_EQ(reloaded.page().newValueShown, page().newValueShown) << c.title;
    }
}

// A value the base plug-in refuses (its reasons are the plug-in's tests) gives an empty Value
// and keeps the typed text.
TEST_F(ZarnicEditorTest, RefusedValuesAreEmpty) {
    const std::string xml =
        BuildTaskXml({.var = "0001.PowerLimit", .opCode = "W", .newValue = "70000"});
    EXPECT_NE(xml.find("Text=\"70000\" Value=\"\" MaxAttempts"), std::string::npos) << xml;
    // An empty new value writes neither Text nor Value.
    EXPECT_EQ(BuildTaskXml({.var = "0001.PowerLimit", .opCode = "W", .newValue = ""}).find("Value"),
              std::string::npos);
}

TEST_F(ZarnicEditorTest, AVariableMissingFromTheCatalogueIsNamedNotGuessed) {
    ZarnicEditor editor(CatalogueGroups());
    EXPECT_FALSE(editor.Load(ReadTaskXml(
        "<task Syntax=\"ZARNIC\">\r\n  <req Var=\"0007.Gone\" OpCode=\"W\"/>\r\n</task>\r\n")));
    EXPECT_EQ(editor.page().missingVariable, "0007.Gone");
    EXPECT_TRUE(editor.page().variables.empty());
    EXPECT_THROW(editor.Build(3), std::out_of_range);
}

}  // namespace
}  // namespace zb::work
