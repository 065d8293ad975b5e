// The loader (what the server accepts from files and concentrators, what it makes of it, the
// look-ups on what it loaded) and the written form (the bytes of files and stored XML; the
// indented form of a whole document is read back byte for byte).
#include <gtest/gtest.h>
#include <istream>
#include <sstream>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <vector>

#include "testing/temp_dir.h"
#include "xml/xml_tree.h"

namespace zb::xml {
namespace {

// The tree a text loads into, in the flat written form: it shows names, attribute lists, texts
// and nesting at once. The document held another tree before, which the load must replace.
std::string Flat(const std::string& text) {
    TECXMLParser doc;
    doc.LoadFromString("<old x=\"1\">t<child/></old>");
    doc.LoadFromString(text);
    doc.SetCrLfInAsString(false);
    return doc.Root()->AsString();
}

// The message of a load read in place from the text; a load from a stream of the same bytes
// must end the same way with the same tree.
std::string ParserMessage(const std::string& text, bool large = false) {
    std::string messages[2];
    TXMLItem items[2];
    for (int fromStream = 0; fromStream < 2; ++fromStream) {
        try {
            std::istringstream in(text);
            fromStream ? items[1].LoadFromStream(in, large) : items[0].LoadFromString(text, large);
            messages[fromStream] = "loaded";
        } catch (const EParserError& e) {
            messages[fromStream] = e.what();
        }
    }
    EXPECT_EQ(messages[0], messages[1]) << text.substr(0, 40);
    EXPECT_EQ(items[0].AsString(), items[1].AsString()) << text.substr(0, 40);
    return messages[0];
}

TEST(XmlReader, WhatTextsLoadAs) {
    const std::pair<std::string, std::string> cases[] = {
        // Nothing to read: an empty root.
        {"", "</>"},
        {"<?xml version=\"1.0\"?>\r\n<!-- nothing -->", "</>"},
        // A lone empty-element tag names the root.
        {"<workUID Value=\"0\"/>\r\n", "<workUID Value=\"0\"/>"},
        // Token text: CR LF and LF CR pairs vanish (without a blank), runs of spaces become one.
        {"<a  x=\"1   2\"\r\n y=\"3\">one   two\r\nthree\n\rfour\nfive</a>",
         "<a x=\"1 2\" y=\"3\">one twothreefour\nfive</a>"},
        // Text pieces split by comments or children join with CR LF; blanks around them go.
        {"<a>first<!-- c -->second<b/>third</a>", "<a>first<br/>second<br/>third<b/></a>"},
        {"<a> \r\n x \r\n<b/></a>", "<a>x<b/></a>"},
        // A written line break "<br/>" joins too, and also becomes an empty child "br"; inside
        // an attribute value it is a line break (written back the same) and ends nothing.
        {"<a>\r\n  l1<br/>l2\r\n</a>\r\n", "<a>l1<br/>l2<br/></a>"},
        {"<a v=\"x<br/>y<br/>\" w=\"z\"/>", "<a v=\"x<br/>y<br/>\" w=\"z\"/>"},
        // A comment ends at the first '>'.
        {"<a><!-- x > y --><b/></a>", "<a>y --&gt;<b/></a>"},
        // End tags close the current element whatever their name: "</E>" closes e, "</A>" c.
        {"<A><b/><c ><d x=\"1\"/><e>t</E></A>", "<A><b/><c><d x=\"1\"/><e>t</e></c></A>"},
        // Two quotes stay two quotes; unquoted values are read to the blank or tag end.
        {"<a e=\"\" q=\"&quot;\" one=\"x\" bare=abc/>",
         "<a e=\"&quot;&quot;\" q=\"&quot;\" one=\"x\" bare=\"abc\"/>"},
        // An attribute without a value reads empty and keeps the others; duplicates stay.
        {"<a p= q=\"1\" r= s=\"2\" flag/>", "<a p=\"\" q=\"1\" r=\"\" s=\"2\" flag=\"\"/>"},
        // Stray end tags and content after the root's end stay in the root.
        {"</x></y><a><b></b></a></a></a><c/>tail<d>t</d></z>", "<a>tail<b/><c/><d>t</d></a>"},
    };
    for (const auto& [text, flat] : cases) {
        EXPECT_EQ(Flat(text), flat) << text;
    }
}

TEST(XmlReader, WrittenFormReadsBackToTheSameTree) {
    const std::string text =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
        "<root>\r\n"
        "  <workUID Value=\"17\"/>\r\n"
        "  <task taskUID=\"12\" Syntax=\"ZARNIC\">\r\n"
        "    <req Var=\"Energy\" OpCode=\"AR\" Text=\"a &amp; b &lt;c&gt; &quot;d&quot; "
        "&apos;\"/>\r\n"
        "    <ans Meter=\"1\" Result=\"DONE\"/>\r\n"
        "    <ans Meter=\"2\" Result=\"FAIL\" meter=\"3\"/>\r\n"
        "  </task>\r\n"
        "  <note>\r\n"
        "    Счётчик &lt;1&gt;\r\n"
        "  </note>\r\n"
        "</root>\r\n";
    TECXMLParser doc;
    doc.LoadFromString(text);
    EXPECT_EQ(doc.Root()->AsString(), text.substr(text.find("<root>")));
    EXPECT_EQ(doc.Root()->Items(1)->Items(0)->Param("text"), "a & b <c> \"d\" '");
    EXPECT_EQ(doc.Root()->Items(2)->Text(), "Счётчик <1>");
    EXPECT_EQ(doc.Root()->Items(1)->Items(2)->Param("METER"), "2");  // the first of equal names
}

TEST(XmlReader, UnterminatedTagsAndLongLines) {
    const std::string longLine = "<x v=\"" + std::string(5000, 'z') + "\"/>";
    // A line of 4095 bytes and its LF fill the window exactly; one more byte does not fit. A
    // stream of exactly 4096 bytes without a LF is a full window without a LF.
    const std::string fits = "<a>" + std::string(4095 - 7, 'y') + "</a>";
    ASSERT_EQ(fits.size(), 4095u);
    const struct {
        std::string text;
        bool large;
        std::string expected;
    } cases[] = {
        {"<a>\r\n<b x=\"1\"\r\n", false, "Unterminated tag on line 2"},
        {"<", false, "Unterminated tag on line 1"},
        {longLine + "\r\n", false, "Line too long on line 1"},
        {"<a>\r\n<b/>\n" + longLine + "\r\n</a>\r\n", false, "Line too long on line 3"},
        // Line feeds inside a multi-line token count too.
        {"<a>\r\nsome\r\ntext\r\n<b\r\nc=\"1\"/>\r\n" + longLine, false, "Line too long on line 6"},
        {fits + "\n<b/>\r\n", false, "loaded"},
        {fits, false, "loaded"},
        {fits + "y\n<b/>\r\n", false, "Line too long on line 1"},
        {fits + "y", false, "Line too long on line 1"},
        // The large window reads any line.
        {longLine, true, "loaded"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParserMessage(c.text, c.large), c.expected) << c.text.substr(0, 40);
    }
    TXMLItem item;
    item.LoadFromString(longLine + longLine, true);
    EXPECT_EQ(item.Param("v"), std::string(5000, 'z'));
    EXPECT_EQ(item.Count(), 1);
    // A failed load keeps what it had built.
    EXPECT_THROW(item.LoadFromString("<a>\r\n<b/>\r\n" + longLine), EParserError);
    item.SetCrLfInAsString(false);
    EXPECT_EQ(item.AsString(), "<a><b/></a>");
}

// A tag or a text that the window end cuts is continued after the refill, whatever the offset.
TEST(XmlReader, TokensCutByTheWindowAreJoined) {
    for (int filler = 4000; filler <= 4080; ++filler) {
        // The window ends after the last LF within the first 4096 bytes; with this filler it
        // falls inside the tag of b, or inside the text of c, or just before or after them.
        const std::string f = "<f t=\"" + std::string(filler, 'f') + "\"/>";
        const std::string text = "<a>\r\n" + f + "\r\n<b\r\n x=\"1\"\r\n y=\"2\"/>\r\n" +
                                 "<c>one\r\ntwo\r\nthree</c>\r\n<d" + std::string(3000, ' ') +
                                 "z=\"3\"/>\r\n</a>\r\n";
        EXPECT_EQ(ParserMessage(text), "loaded");
        EXPECT_EQ(Flat(text), "<a>" + f + "<b x=\"1\" y=\"2\"/><c>onetwothree</c><d z=\"3\"/></a>")
            << filler;
    }
}

TEST(XmlReader, DeepNestingLoadsWritesAndFrees) {
    // Nested far deeper than a recursive loader, writer or destructor could survive.
    constexpr std::size_t kDepth = 200000;
    std::string text;
    for (std::size_t i = 0; i < kDepth; ++i) {
        text += "<n>\n";
    }
    auto deep = std::make_unique<TECXMLParser>();
    deep->LoadFromString(text);
    deep->SetCrLfInAsString(false);
    // The innermost element is empty; every other one holds the next.
    const std::string flat = deep->SaveToString();
    EXPECT_EQ(flat.size(), (kDepth - 1) * std::string("<n></n>").size() + 4);
    EXPECT_EQ(flat.find("<n/>"), (kDepth - 1) * 3);
    deep.reset();
}

// A stream that hands out its text and then fails, like a disk that stops answering.
struct FailingBuffer : std::stringbuf {
    explicit FailingBuffer(const std::string& text) : std::stringbuf(text) {}
    int_type underflow() override {
        if (gptr() == egptr()) {
            throw std::runtime_error("device gone");
        }
        return traits_type::to_int_type(*gptr());
    }
};

TEST(XmlReader, ReadErrorIsNotAShortDocument) {
    for (bool large : {false, true}) {
        FailingBuffer buffer("<a>\r\n<b/>\r\n");
        std::istream in(&buffer);
        TXMLItem item;
        try {
            item.LoadFromStream(in, large);
            ADD_FAILURE() << "loaded " << large;
        } catch (const EParserError& e) {
            EXPECT_STREQ(e.what(), "Read error on line 1") << large;
        }
    }
}

TEST(XmlReader, FilesThatCannotBeOpenedAreNamedAndLeaveTheTree) {
    testing::TempDir dir;
    testing::WriteFile(dir / "d.xml", "<d>\r\n  <e/>\r\n</d>\r\n");
    TECXMLParser doc;
    doc.LoadFromFile(dir / "d.xml");
    EXPECT_THROW(doc.LoadFromFile(dir.path()), EFOpenError);  // a folder is not a file to read
    try {
        doc.LoadFromFile(dir / "missing.xml");
        FAIL() << "no error";
    } catch (const EFOpenError& e) {
        EXPECT_TRUE(std::string(e.what()).starts_with("Cannot open file \"" +
                                                      (dir / "missing.xml").string() + "\"."));
    }
    EXPECT_EQ(doc.Root()->Name() + std::to_string(doc.Root()->Count()), "d1");
}

// Parameters, index errors and the lookup helpers on a loaded tree.
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
    EXPECT_THROW(root->Items(6), EListError);
    EXPECT_THROW(root->Delete(-1), EListError);
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

TEST(XmlWriter, TextLinesAndTheEmptyElementRule) {
    TXMLItem item;
    item.SetName("a");
    item.SetText(" \t\r\n ");
    // Blank text and no children: an empty-element tag.
    EXPECT_EQ(item.AsString(), "<a/>\r\n");

    // Blank text with children: the text is not written.
    item.New()->SetName("b");
    EXPECT_EQ(item.AsString(), "<a>\r\n  <b/>\r\n</a>\r\n");

    // Text on its own line one level deeper, untrimmed and escaped, before the children.
    item.SetText(" x<y>&'\"\r\nz ");
    EXPECT_EQ(item.AsString(1),
              " <a>\r\n    x&lt;y&gt;&amp;&apos;&quot;<br/>z \r\n   <b/>\r\n </a>\r\n");

    item.SetCrLfInAsString(false);
    EXPECT_EQ(item.AsString(), "<a> x&lt;y&gt;&amp;&apos;&quot;<br/>z <b/></a>");
    // In attribute values only the CR LF pair becomes "<br/>"; a lone CR or LF stays as it is.
    item.SetParam("v", "1\n2\r3\r\n\"");
    EXPECT_EQ(item.AsString(),
              "<a v=\"1\n2\r3<br/>&quot;\"> x&lt;y&gt;&amp;&apos;&quot;<br/>z <b/></a>");
}

}  // namespace
}  // namespace zb::xml
