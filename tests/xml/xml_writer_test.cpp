// The written form: these bytes are what files and stored XML of the server look like.
#include <gtest/gtest.h>

#include "xml/xml_tree.h"

namespace zb::xml {
namespace {

TEST(XmlWriter, PrettyFormIsCrLfLinesIndentedByTwo) {
    TECXMLParser doc;
    TXMLItem* root = doc.Root();
    root->SetName("root");
    root->New()->SetParam("Value", "0");
    root->Items(0)->SetName("workUID");
    TXMLItem* command = root->New();
    command->SetName("command");
    command->New()->SetName("req");
    const std::string pretty =
        "<root>\r\n"
        "  <workUID Value=\"0\"/>\r\n"
        "  <command>\r\n"
        "    <req/>\r\n"
        "  </command>\r\n"
        "</root>\r\n";
    EXPECT_EQ(doc.SaveToString(), pretty);
    EXPECT_EQ(command->AsString(2), "  <command>\r\n    <req/>\r\n  </command>\r\n");

    // The flat form: one line, nothing between the tags.
    doc.SetCrLfInAsString(false);
    EXPECT_EQ(root->AsString(), "<root><workUID Value=\"0\"/><command><req/></command></root>");
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
