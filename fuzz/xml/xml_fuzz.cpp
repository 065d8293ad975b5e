// Any bytes through the XML reader and the writer, and the written form through the reader
// again: nothing may crash, leak or touch memory outside the tree (the sanitizers watch).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "xml/xml_tree.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    zb::xml::TECXMLParser doc;
    try {
        doc.LoadFromString(input);
    } catch (const zb::xml::EParserError&) {
        // The tree keeps what was read so far; it must still be writable.
    }
    const std::string written = doc.SaveToString();
    doc.SetCrLfInAsString(false);
    const std::string flat = doc.SaveToString();

    // The large window reads the same bytes without a line limit.
    zb::xml::TXMLItem large;
    try {
        large.LoadFromString(input, true);
    } catch (const zb::xml::EParserError&) {
    }
    (void)large.AsString();

    for (const std::string* text : {&written, &flat}) {
        zb::xml::TECXMLParser again;
        try {
            again.LoadFromString(*text);
        } catch (const zb::xml::EParserError&) {
            continue;  // a written line can exceed the window (a long text or tag)
        }
        (void)again.SaveToString();
    }
    return 0;
}
