// Times the XML tree on a result file of 100,000 answers (one element per line, as concentrators
// send them) and on one text of 100,000 pieces: build, write, load through the 4096-byte window
// and through the large window, and a walk with FindItem/NextItem/ReadParam.
// Usage: xml_load_bench [answers]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "xml/xml_tree.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace zb::xml;
    const int answers = argc > 1 ? std::atoi(argv[1]) : 100000;

    auto start = Clock::now();
    TECXMLParser source;
    TXMLItem* task = source.Root();
    task->SetName("task");
    task->SetParam("TaskUID", "12");
    for (int i = 0; i < answers; ++i) {
        TXMLItem* ans = task->New();
        ans->SetName("ans");
        ans->SetParam("Meter", std::to_string(100000 + i));
        ans->SetParam("Result", "DONE");
        ans->SetParam("Value", "0011223344556677");
    }
    std::printf("build   %8.3f s  (%d answers)\n", Seconds(start), answers);

    start = Clock::now();
    const std::string text = source.SaveToString();
    std::printf("write   %8.3f s  (%zu bytes)\n", Seconds(start), text.size());

    start = Clock::now();
    TECXMLParser doc;
    doc.LoadFromString(text);
    std::printf("load    %8.3f s  (window %zu)\n", Seconds(start), TXMLTokenizer::kWindowSize);

    start = Clock::now();
    TXMLItem large;
    large.LoadFromString(text, true);
    std::printf("load    %8.3f s  (large window)\n", Seconds(start));

    start = Clock::now();
    long done = 0;
    std::string value;
    for (TXMLItem* ans = FindItem(doc.Root(), 0, "ans"); ans != nullptr; ans = NextItem(ans)) {
        ReadParam(ans, "Result", "", value);
        done += value == "DONE" ? 1 : 0;
    }
    std::printf("walk    %8.3f s  (%ld DONE)\n", Seconds(start), done);

    std::string pieces = "<a>\r\n";
    for (int i = 0; i < answers; ++i) {
        pieces += "piece of text<!---->\r\n";
    }
    pieces += "</a>\r\n";
    start = Clock::now();
    TXMLItem joined;
    joined.LoadFromString(pieces);
    std::printf("text    %8.3f s  (%zu bytes of text)\n", Seconds(start), joined.Text().size());
    return done == answers ? 0 : 1;
}
