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

// Records every change notification as "<item name>".
struct ChangeLog {
    explicit ChangeLog(TECXMLParser& doc) {
        doc.XMLItemChanged = [this, &doc](TECXMLParser& sender, TXMLItem& item) {
            EXPECT_EQ(&sender, &doc);
            EXPECT_EQ(item.Document(), &doc);
            names.push_back(item.Name());
        };
    }
    std::vector<std::string> names;
};

TEST(XmlItem, ChangeNotifications) {
    TECXMLParser doc;
    ChangeLog log(doc);
    TXMLItem* root = doc.Root();
    root->SetName("r");             // r
    TXMLItem* child = root->New();  // r (the parent is notified)
    child->SetName("c");            // c
    child->SetText("t");            // c
    child->SetParam("a", "1");      // c
    TXMLParams params;
    params.Add("b", "2");
    child->SetParams(params);  // c
    root->Delete(0);           // r
    EXPECT_EQ(log.names, (std::vector<std::string>{"r", "r", "c", "c", "c", "c", "r"}));

    log.names.clear();
    root->New()->SetName("x");
    root->Params().SetValues("silent", "1");  // through the list itself: no notification
    root->SetNotifyEnabled(false);
    root->SetText("quiet");
    root->New();
    root->SetNotifyEnabled(true);
    root->Clear();  // Clear does not notify
    EXPECT_EQ(log.names, (std::vector<std::string>{"r", "x"}));
    EXPECT_EQ(root->Count(), 0);
    EXPECT_EQ(root->Text(), "");
    EXPECT_EQ(root->Params().Count(), 0);

    // A load is silent; the handler is back afterwards.
    log.names.clear();
    doc.LoadFromString("<a><b x=\"1\">t</b></a>");
    EXPECT_TRUE(log.names.empty());
    doc.Root()->Items(0)->SetText("u");
    EXPECT_EQ(log.names, (std::vector<std::string>{"b"}));

    // A free item has no document and tells no one.
    TXMLItem free;
    free.SetName("f");
    EXPECT_EQ(free.New()->Document(), nullptr);
}

// Load, clear and save each ask their Before event, which may veto, and report when done.
TEST(XmlItem, DocumentEvents) {
    TECXMLParser doc;
    doc.LoadFromString("<keep><b/></keep>");
    std::string events;
    bool allow = false;
    doc.BeforeLoad = doc.BeforeClear = doc.BeforeSave = [&](TECXMLParser& sender, bool& allowed) {
        EXPECT_EQ(&sender, &doc);
        EXPECT_TRUE(allowed);
        allowed = allow;
        events += '?';
    };
    doc.OnLoaded = [&](TECXMLParser&) { events += 'L'; };
    doc.OnCleared = [&](TECXMLParser&) { events += 'C'; };
    doc.OnSaved = [&](TECXMLParser& sender) {
        EXPECT_EQ(&sender, &doc);
        events += 'S';
    };
    doc.LoadFromString("<other/>");
    doc.Clear();
    EXPECT_EQ(doc.SaveToString(), "");
    EXPECT_EQ(doc.Root()->Name(), "keep");
    EXPECT_EQ(doc.Root()->Count(), 1);

    allow = true;
    EXPECT_EQ(doc.SaveToString(), "<keep>\r\n  <b/>\r\n</keep>\r\n");
    doc.Clear();
    EXPECT_EQ(doc.Root()->Name(), "");
    EXPECT_EQ(doc.Root()->Count(), 0);
    doc.LoadFromString("<other/>");
    EXPECT_EQ(doc.Root()->Name(), "other");
    EXPECT_EQ(events, "????S?C?L");
}

TEST(XmlItem, IndexErrors) {
    TXMLItem item;
    item.New();
    item.New();
    EXPECT_EQ(ListErrorOf([&] { item.Items(2); }), "List index out of bounds (2)");
    EXPECT_EQ(ListErrorOf([&] { item.Items(-1); }), "List index out of bounds (-1)");
    EXPECT_EQ(ListErrorOf([&] { item.Delete(5); }), "List index out of bounds (5)");
    EXPECT_EQ(ListErrorOf([&] { item.Params().Names(0); }), "List index out of bounds (0)");
    TXMLItem stranger;
    EXPECT_EQ(ListErrorOf([&] { item.Move(&stranger, 0); }), "List index out of bounds (-1)");
    EXPECT_EQ(ListErrorOf([&] { item.Move(item.Items(0), 2); }), "List index out of bounds (2)");
    EXPECT_EQ(item.Count(), 2);
}

TEST(XmlItem, MoveIndexOfAndIndexOfName) {
    TECXMLParser doc;
    doc.LoadFromString("<r><a/><b/><c/><d/><B/></r>");
    TXMLItem* r = doc.Root();
    TXMLItem* a = r->Items(0);
    r->Move(a, 3);
    EXPECT_EQ(Names(r), "b,c,d,a,B");
    EXPECT_EQ(r->IndexOf(a), 3);
    r->Move(a, 0);
    EXPECT_EQ(Names(r), "a,b,c,d,B");
    r->Move(r->Items(4), 1);
    EXPECT_EQ(Names(r), "a,B,b,c,d");
    for (int i = 0; i < r->Count(); ++i) {
        EXPECT_EQ(r->IndexOf(r->Items(i)), i);
    }
    EXPECT_EQ(r->IndexOf(nullptr), -1);
    EXPECT_EQ(r->IndexOf(r), -1);

    EXPECT_EQ(r->IndexOfName("b"), 1);
    EXPECT_EQ(r->IndexOfName("b", 2), 2);
    EXPECT_EQ(r->IndexOfName("B", 3), -1);
    EXPECT_EQ(r->IndexOfName("a", -4), 0);

    r->Delete(1);
    EXPECT_EQ(Names(r), "a,b,c,d");
    EXPECT_EQ(r->IndexOf(r->Items(3)), 3);
    EXPECT_EQ(r->SubItemCount(), 4);
}

TEST(XmlItem, SettingParent) {
    TECXMLParser doc;
    doc.LoadFromString("<r><a><x/></a><b/><c/></r>");
    TXMLItem* r = doc.Root();
    TXMLItem* a = r->Items(0);
    TXMLItem* b = r->Items(1);

    // The current parent: nothing changes, the item keeps its place.
    b->SetParent(r);
    EXPECT_EQ(Names(r), "a,b,c");

    b->SetParent(a);
    EXPECT_EQ(Names(r), "a,c");
    EXPECT_EQ(Names(a), "x,b");
    EXPECT_EQ(b->Parent(), a);
    EXPECT_EQ(r->IndexOf(r->Items(1)), 1);

    // Into its own subtree, to no parent, or for a root: refused, the tree unchanged.
    EXPECT_THROW(a->SetParent(a), EInvalidOperation);
    EXPECT_THROW(a->SetParent(b), EInvalidOperation);
    EXPECT_THROW(a->SetParent(nullptr), EInvalidOperation);
    EXPECT_THROW(r->SetParent(a), EInvalidOperation);
    EXPECT_EQ(Names(r), "a,c");
    EXPECT_EQ(Names(a), "x,b");

    // Into another document: the subtree joins it and notifies there.
    TECXMLParser other;
    other.Root()->SetName("o");
    std::vector<std::string> changes;
    other.XMLItemChanged = [&](TECXMLParser&, TXMLItem& item) { changes.push_back(item.Name()); };
    a->SetParent(other.Root());
    EXPECT_EQ(Names(r), "c");
    EXPECT_EQ(a->Document(), &other);
    EXPECT_EQ(a->Items(1)->Document(), &other);
    a->Items(1)->SetText("moved");
    EXPECT_EQ(changes, std::vector<std::string>{"b"});
    EXPECT_EQ(other.SaveToString(),
              "<o>\r\n  <a>\r\n    <x/>\r\n    <b>\r\n      moved\r\n"
              "    </b>\r\n  </a>\r\n</o>\r\n");
}

TEST(XmlItem, AdoptAndExtract) {
    TECXMLParser doc;
    doc.Root()->SetName("r");
    auto free = std::make_unique<TXMLItem>();
    free->SetName("f");
    free->New()->SetName("g");
    TXMLItem* f = doc.Root()->Adopt(std::move(free));
    EXPECT_EQ(f->Parent(), doc.Root());
    EXPECT_EQ(f->Items(0)->Document(), &doc);

    std::unique_ptr<TXMLItem> back = doc.Root()->Extract(0);
    EXPECT_EQ(doc.Root()->Count(), 0);
    EXPECT_EQ(back->Parent(), nullptr);
    EXPECT_EQ(back->Items(0)->Document(), nullptr);
    EXPECT_EQ(NextItem(back.get()), nullptr);
    EXPECT_THROW(doc.Root()->Adopt(nullptr), EInvalidOperation);
}

TEST(XmlItem, Params) {
    TXMLParams params;
    params.SetValues("Ключ", "1");
    params.SetValues("b", "2");
    EXPECT_EQ(params.Values("КЛЮЧ"), "1");  // Cyrillic names compare without case too
    EXPECT_EQ(params.IndexOfName("B"), 1);
    params.SetValues("ключ", "3");
    EXPECT_EQ(params.Strings(0), "Ключ=3");
    params.SetValues("KLUCH", "");  // removing a missing name does nothing
    EXPECT_EQ(params.Count(), 2);
    params.SetValues("ключ", "");
    EXPECT_EQ(params.Count(), 1);
    EXPECT_EQ(params.Values("ключ"), "");
    params.AddLine("x=a=b");
    EXPECT_EQ(params.Names(1), "x");
    EXPECT_EQ(params.ValueFromIndex(1), "a=b");

    TXMLItem item;
    item.SetParam("v", "1");
    EXPECT_TRUE(item.HasParam("V"));
    item.SetParam("V", "");
    EXPECT_FALSE(item.HasParam("v"));
    EXPECT_EQ(item.Param("v"), "");
}

TEST(XmlItem, LookupHelpers) {
    TECXMLParser doc;
    doc.LoadFromString(
        "<root><workUID Value=\"7\"/><task TaskUID=\"1\"/><Task/><other/>"
        "<TASK TaskUID=\"\"/><Ответ Знач=\"да\"/></root>");
    TXMLItem* root = doc.Root();

    TXMLItem* task = FindItem(root, 0, "task");
    ASSERT_NE(task, nullptr);
    EXPECT_EQ(root->IndexOf(task), 1);
    EXPECT_EQ(FindItem(root, 2, "TASK"), root->Items(2));
    EXPECT_EQ(FindItem(root, 5, "task"), nullptr);
    EXPECT_EQ(FindItem(nullptr, 0, "task"), nullptr);

    std::vector<int> found;
    for (TXMLItem* t = task; t != nullptr; t = NextItem(t)) {
        found.push_back(root->IndexOf(t));
    }
    EXPECT_EQ(found, (std::vector<int>{1, 2, 4}));
    EXPECT_EQ(NextItem(root), nullptr);
    EXPECT_EQ(NextItem(nullptr), nullptr);

    std::string value = "stale";
    EXPECT_FALSE(ReadParam(nullptr, "Value", "d", value));
    EXPECT_EQ(value, "d");
    EXPECT_FALSE(ReadParam(task, "Missing", "d", value));
    EXPECT_EQ(value, "d");
    EXPECT_TRUE(ReadParam(task, "taskuid", "d", value));
    EXPECT_EQ(value, "1");
    EXPECT_TRUE(ReadParam(root->Items(4), "TaskUID", "d", value));
    EXPECT_EQ(value, "");

    TXMLItem* child = root;
    EXPECT_TRUE(ReadChildParam(root, 0, "WORKUID", "value", "0", value, child));
    EXPECT_EQ(value, "7");
    EXPECT_EQ(child, root->Items(0));
    EXPECT_TRUE(ReadChildParam(root, 0, "other", "Value", "none", value, child));
    EXPECT_EQ(value, "none");
    EXPECT_EQ(child, root->Items(3));
    EXPECT_TRUE(ReadChildParam(root, 3, "task", "TaskUID", "x", value, child));
    EXPECT_EQ(value, "");
    EXPECT_EQ(child, root->Items(4));
    EXPECT_FALSE(ReadChildParam(root, 5, "task", "TaskUID", "x", value, child));
    EXPECT_EQ(value, "x");
    EXPECT_EQ(child, nullptr);
    EXPECT_FALSE(ReadChildParam(nullptr, 0, "task", "TaskUID", "x", value, child));
    EXPECT_TRUE(ReadChildParam(root, 0, "ответ", "ЗНАЧ", "", value, child));
    EXPECT_EQ(value, "да");
}

}  // namespace
}  // namespace zb::xml
