// The written form: these bytes are what files and stored XML of the server look like. The
// indented form of a whole document is read back byte for byte in the reader's tests.
#include <gtest/gtest.h>

#include "xml/xml_tree.h"

namespace zb::xml {
namespace {

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
