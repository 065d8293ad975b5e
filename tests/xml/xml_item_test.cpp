// The tree operations, change notifications and the lookup helpers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "xml/xml_tree.h"

namespace zb::xml {
namespace {

std::string Names(const TXMLItem* item) {
    std::string out;
    for (int i = 0; i < item->Count(); ++i) {
        out += (i > 0 ? "," : "") + item->Items(i)->Name();
    }
    return out;
}

std::string ListErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EListError& e) {
        return e.what();
    }
    return "no error";
}

TEST(XmlItem, ChangesNotifyTheDocumentAndItsEventsMayVeto) {
    TECXMLParser doc;
    std::vector<std::string> changes;
    doc.XMLItemChanged = [&](TECXMLParser& sender, TXMLItem& item) {
        EXPECT_EQ(&sender, &doc);
        changes.push_back(item.Name());
    };
    TXMLItem* root = doc.Root();
    root->SetName("r");
    TXMLItem* child = root->New();  // the parent is notified
    child->SetParam("a", "1");
    root->Params().SetValues("silent", "1");  // through the list itself: no notification
    root->SetNotifyEnabled(false);
    root->SetText("quiet");
    root->SetNotifyEnabled(true);
    root->Delete(0);
    EXPECT_EQ(changes, (std::vector<std::string>{"r", "r", "", "r"}));

    // Load, clear and save each ask their Before event, which may veto; a load is silent.
    std::string events;
    bool allow = false;
    doc.BeforeLoad = doc.BeforeClear = doc.BeforeSave = [&](TECXMLParser&, bool& allowed) {
        allowed = allow;
        events += '?';
    };
    doc.OnLoaded = [&](TECXMLParser&) { events += 'L'; };
    doc.OnCleared = [&](TECXMLParser&) { events += 'C'; };
    doc.OnSaved = [&](TECXMLParser&) { events += 'S'; };
    doc.LoadFromString("<other/>");
    doc.Clear();
    EXPECT_EQ(doc.SaveToString(), "");
    EXPECT_EQ(doc.Root()->Name(), "r");
    allow = true;
    doc.Clear();
    doc.LoadFromString("<a><b x=\"1\">t</b></a>");
    EXPECT_EQ(doc.SaveToString(), "<a>\r\n  <b x=\"1\">\r\n    t\r\n  </b>\r\n</a>\r\n");
    EXPECT_EQ(events, "????C?L?S");
    EXPECT_EQ(changes.size(), 4u);
}

TEST(XmlItem, MovesAndParentsKeepTheTreeSound) {
    TECXMLParser doc;
    doc.LoadFromString("<r><a><x/></a><b/><c/><B/></r>");
    TXMLItem* r = doc.Root();
    TXMLItem* a = r->Items(0);
    TXMLItem* b = r->Items(1);
    EXPECT_EQ(ListErrorOf([&] { r->Items(4); }), "List index out of bounds (4)");
    EXPECT_EQ(ListErrorOf([&] { r->Delete(-1); }), "List index out of bounds (-1)");
    TXMLItem stranger;
    EXPECT_EQ(ListErrorOf([&] { r->Move(&stranger, 0); }), "List index out of bounds (-1)");
    EXPECT_EQ(ListErrorOf([&] { r->Move(a, 4); }), "List index out of bounds (4)");
    r->Move(a, 3);
    EXPECT_EQ(Names(r), "b,c,B,a");
    EXPECT_EQ(r->IndexOf(a), 3);
    EXPECT_EQ(r->IndexOfName("b", 1), 2);  // names compare without case, from the given index

    b->SetParent(a);
    EXPECT_EQ(Names(r), "c,B,a");
    EXPECT_EQ(Names(a), "x,b");
    // Into its own subtree, to no parent, or for a root: refused, the tree unchanged.
    EXPECT_THROW(a->SetParent(b), EInvalidOperation);
    EXPECT_THROW(a->SetParent(nullptr), EInvalidOperation);
    EXPECT_THROW(r->SetParent(a), EInvalidOperation);
    EXPECT_EQ(Names(a), "x,b");

    // Into another document: the subtree joins it; extracted, it belongs to no document.
    TECXMLParser other;
    a->SetParent(other.Root());
    EXPECT_EQ(Names(r), "c,B");
    EXPECT_EQ(a->Items(1)->Document(), &other);
    std::unique_ptr<TXMLItem> back = other.Root()->Extract(0);
    EXPECT_EQ(back->Parent(), nullptr);
    EXPECT_EQ(back->Items(0)->Document(), nullptr);
    EXPECT_EQ(r->Adopt(std::move(back))->Items(1)->Document(), &doc);
    EXPECT_THROW(r->Adopt(nullptr), EInvalidOperation);
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
