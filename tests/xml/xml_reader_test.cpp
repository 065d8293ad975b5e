// The loader: what the server accepts from files and concentrators, and what it makes of it.
#include <gtest/gtest.h>

#include <istream>
#include <stdexcept>
#include <streambuf>
#include <string>

#include "testing/temp_dir.h"
#include "xml/xml_tree.h"

namespace zb::xml {
namespace {

std::string Load(TECXMLParser& doc, const std::string& text) {
    doc.LoadFromString(text);
    return doc.Root()->AsString();
}

std::string ParserMessage(const std::string& text, bool large = false) {
    TXMLItem item;
    try {
        item.LoadFromString(text, large);
    } catch (const EParserError& e) {
        return e.what();
    }
    return "loaded";
}

TEST(XmlReader, EmptyAndBlankStreams) {
    for (const std::string text : {"", " \r\n\t ", "<?xml version=\"1.0\"?>\r\n<!-- nothing -->"}) {
        TECXMLParser doc;
        doc.Root()->SetName("old");
        doc.Root()->New();
        doc.LoadFromString(text);
        EXPECT_EQ(doc.Root()->Name(), "") << text;
        EXPECT_EQ(doc.Root()->Text(), "");
        EXPECT_EQ(doc.Root()->Count(), 0);
        EXPECT_EQ(doc.Root()->Params().Count(), 0);
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
        "    <ans Meter=\"2\" Result=\"FAIL\"/>\r\n"
        "  </task>\r\n"
        "  <note>\r\n"
        "    Счётчик &lt;1&gt;\r\n"
        "  </note>\r\n"
        "</root>\r\n";
    TECXMLParser doc;
    const std::string written = Load(doc, text);
    EXPECT_EQ(written, text.substr(text.find("<root>")));
    TXMLItem* req = doc.Root()->Items(1)->Items(0);
    EXPECT_EQ(req->Param("text"), "a & b <c> \"d\" '");
    EXPECT_EQ(doc.Root()->Items(2)->Text(), "Счётчик <1>");
}

TEST(XmlReader, TokenTextLosesLineBreakPairsAndDoubleSpaces) {
    TECXMLParser doc;
    doc.LoadFromString("<a  x=\"1   2\"\r\n y=\"3\">one   two\r\nthree\n\rfour\nfive</a>");
    TXMLItem* a = doc.Root();
    EXPECT_EQ(a->Name(), "a");
    ASSERT_EQ(a->Params().Count(), 2);
    EXPECT_EQ(a->Param("x"), "1 2");
    // The CR LF inside the tag vanished without a space: y is still a separate attribute only
    // because of the blank that followed it.
    EXPECT_EQ(a->Param("y"), "3");
    EXPECT_EQ(a->Text(), "one twothreefour\nfive");
}

TEST(XmlReader, TextPiecesAreJoinedByCrLf) {
    TECXMLParser doc;
    doc.LoadFromString("<a>first<!-- c -->second<b/>third</a>");
    EXPECT_EQ(doc.Root()->Text(), "first\r\nsecond\r\nthird");
    EXPECT_EQ(doc.Root()->Count(), 1);
    // Blanks around a text are not part of it.
    doc.Root()->LoadFromString("<a> \r\n x \r\n<b/></a>");
    EXPECT_EQ(doc.Root()->Text(), "x");
}

TEST(XmlReader, LineBreakRoundTrips) {
    // Text: each CR LF is written as "<br/>"; read back, the pieces join with CR LF and each
    // "<br/>" also becomes an empty child "br".
    TECXMLParser doc;
    doc.Root()->SetName("a");
    doc.Root()->SetText("l1\r\nl2\r\nl3");
    const std::string written = doc.SaveToString();
    EXPECT_EQ(written, "<a>\r\n  l1<br/>l2<br/>l3\r\n</a>\r\n");
    doc.LoadFromString(written);
    EXPECT_EQ(doc.Root()->Text(), "l1\r\nl2\r\nl3");
    ASSERT_EQ(doc.Root()->Count(), 2);
    EXPECT_EQ(doc.Root()->Items(0)->Name(), "br");

    // Attribute values keep their line breaks: "<br/>" inside quotes does not end the tag.
    TECXMLParser attr;
    attr.Root()->SetName("a");
    attr.Root()->SetParam("v", "x\r\ny\r\n");
    attr.Root()->SetParam("w", "z");
    const std::string tag = attr.SaveToString();
    EXPECT_EQ(tag, "<a v=\"x<br/>y<br/>\" w=\"z\"/>\r\n");
    attr.LoadFromString(tag);
    EXPECT_EQ(attr.Root()->Name(), "a");
    EXPECT_EQ(attr.Root()->Param("v"), "x\r\ny\r\n");
    EXPECT_EQ(attr.Root()->Param("w"), "z");
    EXPECT_EQ(attr.Root()->Count(), 0);
    EXPECT_EQ(attr.SaveToString(), tag);
}

TEST(XmlReader, CommentEndsAtFirstGreaterThan) {
    TECXMLParser doc;
    doc.LoadFromString("<a><!-- x > y --><b/></a>");
    EXPECT_EQ(doc.Root()->Text(), "y -->");
    ASSERT_EQ(doc.Root()->Count(), 1);
    EXPECT_EQ(doc.Root()->Items(0)->Name(), "b");
}

TEST(XmlReader, TagKindsAndNames) {
    TECXMLParser doc;
    doc.LoadFromString(
        "<?XML-STYLESHEET type=\"text/xsl\" HREF=\"Show.XSL\"?><A><b/><c ><d "
        "x=\"1\"/><e>t</E></A>");
    EXPECT_EQ(doc.StyleSheet, "Show.XSL");
    TXMLItem* a = doc.Root();
    EXPECT_EQ(a->Name(), "A");
    // End tags close the current element whatever their name: "</E>" closes e, "</A>" closes c.
    ASSERT_EQ(a->Count(), 2);
    EXPECT_EQ(a->Items(0)->Name(), "b");
    TXMLItem* c = a->Items(1);
    EXPECT_EQ(c->Name(), "c");
    EXPECT_EQ(c->Params().Count(), 0);
    ASSERT_EQ(c->Count(), 2);
    EXPECT_EQ(c->Items(0)->Param("X"), "1");
    EXPECT_EQ(c->Items(1)->Text(), "t");
}

TEST(XmlReader, TwoQuoteAttributes) {
    TECXMLParser doc;
    doc.LoadFromString("<a e=\"\" q=\"&quot;\" one=\"x\" bare=abc/>");
    TXMLItem* a = doc.Root();
    EXPECT_EQ(a->Param("e"), "\"\"");
    EXPECT_EQ(a->Param("q"), "\"");
    EXPECT_EQ(a->Param("one"), "x");
    EXPECT_EQ(a->Param("bare"), "abc");
    std::string value;
    EXPECT_TRUE(ReadParam(a, "E", "default", value));
    EXPECT_EQ(value, "");
    EXPECT_TRUE(ReadParam(a, "q", "default", value));
    EXPECT_EQ(value, "\"");
    // Written back, the two quotes are escaped and read back the same way.
    doc.LoadFromString(doc.SaveToString());
    EXPECT_EQ(doc.Root()->Param("e"), "\"\"");
}

TEST(XmlReader, BlankBeforeTagEndIsNotPartOfTheValue) {
    TECXMLParser doc;
    doc.LoadFromString("<a x=\"1\" y=\"2\" ><b z=\"3\" /></a>");
    EXPECT_EQ(doc.Root()->Params().Count(), 2);
    EXPECT_EQ(doc.Root()->Param("y"), "2");
    ASSERT_EQ(doc.Root()->Count(), 1);
    EXPECT_EQ(doc.Root()->Items(0)->Name(), "b");
    EXPECT_EQ(doc.Root()->Items(0)->Param("z"), "3");
    EXPECT_EQ(doc.Root()->Items(0)->Params().Count(), 1);
}

TEST(XmlReader, AttributeWithoutValueReadsEmptyAndKeepsTheOthers) {
    TECXMLParser doc;
    doc.LoadFromString("<a p= q=\"1\" r= s=\"2\" flag/>");
    const TXMLParams& params = doc.Root()->Params();
    ASSERT_EQ(params.Count(), 5);
    EXPECT_EQ(params.Strings(0), "p=");
    EXPECT_EQ(params.Strings(1), "q=1");
    EXPECT_EQ(params.Strings(2), "r=");
    EXPECT_EQ(params.Strings(3), "s=2");
    EXPECT_EQ(params.Names(4), "flag");
    std::string value;
    EXPECT_TRUE(ReadParam(doc.Root(), "p", "d", value));
    EXPECT_EQ(value, "");
    // Duplicate names each keep their own value; look-up finds the first.
    doc.LoadFromString("<a x=\"1\" X=\"2\"/>");
    EXPECT_EQ(doc.Root()->Params().Strings(0), "x=1");
    EXPECT_EQ(doc.Root()->Params().Strings(1), "X=2");
    EXPECT_EQ(doc.Root()->Param("X"), "1");
}

TEST(XmlReader, SingleEmptyElementNamesTheRoot) {
    TECXMLParser doc;
    doc.Root()->SetName("workUID");
    doc.Root()->SetParam("Value", "0");
    const std::string written = doc.SaveToString();
    doc.LoadFromString(written);
    EXPECT_EQ(doc.Root()->Name(), "workUID");
    EXPECT_EQ(doc.Root()->Param("Value"), "0");
    EXPECT_EQ(doc.Root()->Count(), 0);
    EXPECT_EQ(doc.SaveToString(), written);
}

TEST(XmlReader, StrayEndTagsAndTrailingContentStayInTheRoot) {
    TECXMLParser doc;
    doc.LoadFromString("</x></y><a><b></b></a></a></a><c/>tail<d>t</d></z>");
    TXMLItem* a = doc.Root();
    EXPECT_EQ(a->Name(), "a");
    EXPECT_EQ(a->Parent(), nullptr);
    ASSERT_EQ(a->Count(), 3);
    EXPECT_EQ(a->Items(0)->Name(), "b");
    EXPECT_EQ(a->Items(1)->Name(), "c");
    EXPECT_EQ(a->Items(2)->Name(), "d");
    EXPECT_EQ(a->Text(), "tail");

    // Loading into an inner item never climbs into the items around it.
    TECXMLParser outer;
    outer.LoadFromString("<o><inner/><after/></o>");
    TXMLItem* inner = outer.Root()->Items(0);
    inner->LoadFromString("<i></i></i></i><j/>");
    EXPECT_EQ(inner->Name(), "i");
    ASSERT_EQ(inner->Count(), 1);
    EXPECT_EQ(inner->Items(0)->Name(), "j");
    EXPECT_EQ(outer.Root()->Count(), 2);
    EXPECT_EQ(outer.Root()->Items(1)->Name(), "after");
    EXPECT_EQ(inner->Items(0)->Document(), &outer);
}

TEST(XmlReader, UnterminatedTagIsAnError) {
    EXPECT_EQ(ParserMessage("<a>\r\n<b x=\"1\"\r\n"), "Unterminated tag on line 2");
    EXPECT_EQ(ParserMessage("<"), "Unterminated tag on line 1");
}

TEST(XmlReader, LineTooLong) {
    const std::string longLine = "<x v=\"" + std::string(5000, 'z') + "\"/>";
    EXPECT_EQ(ParserMessage(longLine + "\r\n"), "Line too long on line 1");
    EXPECT_EQ(ParserMessage("<a>\r\n<b/>\n" + longLine + "\r\n</a>\r\n"),
              "Line too long on line 3");
    // Line feeds inside a multi-line token count too.
    EXPECT_EQ(ParserMessage("<a>\r\nsome\r\ntext\r\n<b\r\nc=\"1\"/>\r\n" + longLine),
              "Line too long on line 6");

    // Boundaries: a line of 4095 bytes and its LF fill the window exactly; one more byte does
    // not fit. A stream of exactly 4096 bytes without a LF is a full window without a LF.
    const std::string fits = "<a>" + std::string(4095 - 7, 'y') + "</a>";
    ASSERT_EQ(fits.size(), 4095u);
    EXPECT_EQ(ParserMessage(fits + "\n<b/>\r\n"), "loaded");
    EXPECT_EQ(ParserMessage(fits), "loaded");
    EXPECT_EQ(ParserMessage(fits + "y\n<b/>\r\n"), "Line too long on line 1");
    EXPECT_EQ(ParserMessage(fits + "y"), "Line too long on line 1");

    // The large window reads any line.
    EXPECT_EQ(ParserMessage(longLine, true), "loaded");
    TXMLItem item;
    item.LoadFromString(longLine + longLine, true);
    EXPECT_EQ(item.Param("v"), std::string(5000, 'z'));
    EXPECT_EQ(item.Count(), 1);
}

TEST(XmlReader, FailedLoadKeepsWhatWasBuiltAndRestoresTheHandler) {
    TECXMLParser doc;
    int changes = 0;
    doc.XMLItemChanged = [&](TECXMLParser&, TXMLItem&) { ++changes; };
    bool loaded = false;
    doc.OnLoaded = [&](TECXMLParser&) { loaded = true; };
    EXPECT_THROW(doc.LoadFromString("<a>\r\n<b/>\r\n" + std::string(5000, 'q')), EParserError);
    EXPECT_FALSE(loaded);
    EXPECT_EQ(doc.Root()->Name(), "a");
    EXPECT_EQ(doc.Root()->Count(), 1);
    EXPECT_EQ(changes, 0);
    ASSERT_TRUE(doc.XMLItemChanged);
    doc.Root()->SetName("z");
    EXPECT_EQ(changes, 1);
}

// A tag or a text that the window end cuts is continued after the refill, whatever the offset.
TEST(XmlReader, TokensCutByTheWindowAreJoined) {
    for (int filler = 4000; filler <= 4080; ++filler) {
        // The window ends after the last LF within the first 4096 bytes; with this filler it
        // falls inside the tag of b, or inside the text of c, or just before or after them.
        const std::string text = "<a>\r\n<f t=\"" + std::string(filler, 'f') + "\"/>\r\n" +
                                 "<b\r\n x=\"1\"\r\n y=\"2\"/>\r\n<c>one\r\ntwo\r\nthree</c>\r\n" +
                                 "<d" + std::string(3000, ' ') + "z=\"3\"/>\r\n</a>\r\n";
        TECXMLParser doc;
        doc.LoadFromString(text);
        TXMLItem* a = doc.Root();
        ASSERT_EQ(a->Count(), 4) << filler;
        EXPECT_EQ(a->Items(1)->Name(), "b") << filler;
        EXPECT_EQ(a->Items(1)->Param("x"), "1") << filler;
        EXPECT_EQ(a->Items(1)->Param("y"), "2") << filler;
        EXPECT_EQ(a->Items(2)->Text(), "onetwothree") << filler;
        EXPECT_EQ(a->Items(3)->Param("z"), "3") << filler;
    }
}

TEST(XmlReader, HundredThousandLineDocument) {
    constexpr int kAnswers = 100000;
    TECXMLParser source;
    TXMLItem* task = source.Root();
    task->SetName("task");
    for (int i = 0; i < kAnswers; ++i) {
        TXMLItem* ans = task->New();
        ans->SetName("ans");
        ans->SetParam("Meter", std::to_string(i));
        ans->SetParam("Result", i % 3 == 0 ? "FAIL" : "DONE");
    }
    const std::string text = source.SaveToString();

    TECXMLParser doc;
    doc.LoadFromString(text);
    ASSERT_EQ(doc.Root()->Count(), kAnswers);
    int done = 0;
    int visited = 0;
    for (TXMLItem* ans = FindItem(doc.Root(), 0, "ANS"); ans != nullptr; ans = NextItem(ans)) {
        std::string meter;
        ASSERT_TRUE(ReadParam(ans, "meter", "", meter));
        ASSERT_EQ(meter, std::to_string(visited));
        done += ans->Param("Result") == "DONE" ? 1 : 0;
        ++visited;
    }
    EXPECT_EQ(visited, kAnswers);
    EXPECT_EQ(done, kAnswers - (kAnswers + 2) / 3);
    EXPECT_EQ(doc.SaveToString(), text);
}

TEST(XmlReader, HundredThousandTextPiecesInOneElement) {
    // Every piece is joined to one growing text: loading must stay linear.
    constexpr int kPieces = 100000;
    std::string text = "<a>\r\n";
    for (int i = 0; i < kPieces; ++i) {
        text += "p<!---->\r\n";
    }
    text += "</a>\r\n";
    TECXMLParser doc;
    doc.LoadFromString(text);
    EXPECT_EQ(doc.Root()->Text().size(), kPieces + (kPieces - 1) * 2u);
    EXPECT_TRUE(doc.Root()->Text().starts_with("p\r\np\r\n"));
}

TEST(XmlReader, DeeplyNestedInput) {
    constexpr int kDepth = 100000;
    std::string text;
    for (int i = 0; i < kDepth; ++i) {
        text += "<n>\n";
    }
    TECXMLParser doc;
    doc.LoadFromString(text);
    int depth = 0;
    for (TXMLItem* item = doc.Root(); item->Count() > 0; item = item->Items(0)) {
        ++depth;
    }
    EXPECT_EQ(depth, kDepth - 1);
}

// A stream that hands out its text once and then fails, like a disk that stops answering.
class FailingBuffer : public std::streambuf {
  public:
    explicit FailingBuffer(std::string text) : text_(std::move(text)) {}

  protected:
    int_type underflow() override {
        if (given_) {
            throw std::runtime_error("device gone");
        }
        given_ = true;
        setg(text_.data(), text_.data(), text_.data() + text_.size());
        return traits_type::to_int_type(text_[0]);
    }

  private:
    std::string text_;
    bool given_ = false;
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

TEST(XmlReader, LoadEvents) {
    TECXMLParser doc;
    doc.LoadFromString("<keep/>");
    doc.BeforeLoad = [](TECXMLParser&, bool& allow) { allow = false; };
    int loaded = 0;
    doc.OnLoaded = [&](TECXMLParser&) { ++loaded; };
    doc.LoadFromString("<other/>");
    EXPECT_EQ(doc.Root()->Name(), "keep");
    EXPECT_EQ(loaded, 0);
    doc.BeforeLoad = nullptr;
    doc.LoadFromString("<other/>");
    EXPECT_EQ(doc.Root()->Name(), "other");
    EXPECT_EQ(loaded, 1);
}

TEST(XmlReader, Files) {
    testing::TempDir dir;
    testing::WriteFile(dir / "d.xml", "<d>\r\n  <e/>\r\n</d>\r\n");
    TECXMLParser doc;
    doc.LoadFromFile(dir / "d.xml");
    EXPECT_EQ(doc.Root()->Name(), "d");
    EXPECT_EQ(doc.Root()->Count(), 1);
    try {
        doc.LoadFromFile(dir / "missing.xml");
        FAIL() << "no error";
    } catch (const EFOpenError& e) {
        EXPECT_TRUE(std::string(e.what()).starts_with("Cannot open file \"" +
                                                      (dir / "missing.xml").string() + "\"."));
    }
    EXPECT_EQ(doc.Root()->Name(), "d");
    // A folder is not a file to read.
    EXPECT_THROW(doc.LoadFromFile(dir.path()), EFOpenError);
    EXPECT_EQ(doc.Root()->Name(), "d");
}

}  // namespace
}  // namespace zb::xml
