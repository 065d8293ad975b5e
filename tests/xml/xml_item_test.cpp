// Parameters, index errors and the lookup helpers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "xml/xml_tree.h"

namespace zb::xml {
namespace {

std::string ListErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EListError& e) {
        return e.what();
    }
    return "no error";
}

TEST(XmlItem, ParamsAndLookupsIgnoreLetterCase) {
    TXMLParams params;
    params.SetValues("Ключ", "1");
    params.SetValues("ключ", "3");  // Cyrillic names compare without case too
    EXPECT_EQ(params.Strings(0), "Ключ=3");
    params.SetValues("KLUCH", "");  // removing a missing name does nothing
    params.SetValues("КЛЮЧ", "");
    EXPECT_EQ(params.Count(), 0);
    params.AddLine("x=a=b");
    EXPECT_EQ(params.Names(0) + " " + params.ValueFromIndex(0), "x a=b");

    TECXMLParser doc;
    doc.LoadFromString(
        "<root><workUID Value=\"7\"/><task TaskUID=\"1\"/><Task/><other/>"
        "<TASK TaskUID=\"\"/><Ответ Знач=\"да\"/></root>");
    TXMLItem* root = doc.Root();
    EXPECT_EQ(ListErrorOf([&] { root->Items(6); }), "List index out of bounds (6)");
    EXPECT_EQ(ListErrorOf([&] { root->Delete(-1); }), "List index out of bounds (-1)");
    std::vector<int> found;
    for (TXMLItem* t = FindItem(root, 0, "task"); t != nullptr; t = NextItem(t)) {
        found.push_back(root->IndexOf(t));
    }
    EXPECT_EQ(found, (std::vector<int>{1, 2, 4}));
    EXPECT_EQ(FindItem(root, 5, "task"), nullptr);
    EXPECT_EQ(FindItem(nullptr, 0, "task"), nullptr);

    // A missing parameter or item gives the default; an empty one stays empty.
    std::string value = "stale";
    EXPECT_FALSE(ReadParam(root->Items(1), "Missing", "d", value));
    EXPECT_EQ(value, "d");
    EXPECT_TRUE(ReadParam(root->Items(4), "taskuid", "d", value));
    EXPECT_EQ(value, "");
    TXMLItem* child = root;
    EXPECT_TRUE(ReadChildParam(root, 0, "WORKUID", "value", "0", value, child));
    EXPECT_EQ(value + " " + child->Name(), "7 workUID");
    EXPECT_TRUE(ReadChildParam(root, 0, "other", "Value", "none", value, child));
    EXPECT_EQ(value, "none");
    EXPECT_FALSE(ReadChildParam(root, 5, "task", "TaskUID", "x", value, child));
    EXPECT_EQ(value, "x");
    EXPECT_EQ(child, nullptr);
    EXPECT_TRUE(ReadChildParam(root, 0, "ответ", "ЗНАЧ", "", value, child));
    EXPECT_EQ(value, "да");
}

}  // namespace
}  // namespace zb::xml
