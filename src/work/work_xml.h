#pragma once
// The three XML texts of works: the work XML (column XML of WorkLib), the request XML (column XML
// of Task) and the work file a concentrator receives. The library editor builds and reads the
// first two through these functions; dispatch assembles the work file from them. Texts here are
// plain (not in the stored text form): the callers encode and decode at the database.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zb::work {

// Meter syntaxes.
inline constexpr std::string_view kSyntaxZarnic = "ZARNIC";
inline constexpr std::string_view kSyntaxM200 = "M-200";
inline constexpr std::string_view kSyntaxM230 = "M-230";

// Interval codes of periods, durations and archive intervals, in the order the editor lists them.
const std::vector<std::string>& IntervalCodes();
// The captions of the archive types; the code is the caption's text before " -".
const std::vector<std::string>& ArchiveTypeCaptions();  // I, D, F, IMIN, IMAX
const std::string& EventArchiveCaption();               // "LOG - журнал событий"
std::string ArchiveTypeCode(std::string_view caption);

// "<factor> <code>", e.g. "1 DAY" or "30 MIN".
std::string FactorText(int factor, std::string_view code);

// A factor and interval code read back from such a text. Without a blank, a period reads its
// factor from the whole text and a duration keeps its factor; the code is the whole text.
struct FactorCode {
    std::optional<int> factor;  // none when the text before the blank is not a number
    std::string code;
};
FactorCode SplitPeriod(std::string_view text);
FactorCode SplitDuration(std::string_view text);

// A library node's text: the name, and " [" + comment + "]" when the comment is not empty.
std::string NodeText(std::string_view name, std::string_view comment);

// ---- work XML ----

struct WorkDefinition {
    std::string name;
    bool periodic = false;
    std::string period = "1 DAY";       // written only for a periodic work
    std::string durationMax = "1 DAY";  // the longest time the whole work may take
};

std::string BuildWorkXml(const WorkDefinition& work);
// The WorkLib row's Name (the work name) and Comment (the period of a periodic work, else "").
std::string WorkRowName(const WorkDefinition& work);
std::string WorkRowComment(const WorkDefinition& work);

// A stored work XML read back, with the defaults of a missing element or attribute.
struct StoredWork {
    std::string name = "<NULL>";
    std::string type = "Single";
    std::string period = "1 DAY";
    std::string durationMax = "1 DAY";
    bool Periodic() const { return type == "Periodic"; }
};
StoredWork ReadWorkXml(std::string_view xml);

// ---- request XML ----

struct TaskRequest {
    std::string syntax{kSyntaxZarnic};
    std::string var;           // ZARNIC: the variable's title; M-200/M-230: the parameter name
    std::string opCode = "R";  // ZARNIC: "R", "W" or "AR"
    // ZARNIC: the new value as typed (lines joined by CR LF), present when the editor shows the
    // field. Text and Value are written only when it is present and not empty.
    std::optional<std::string> newValue;
    std::string arcType = "I";          // AR only
    std::string arcInterval = "1 DAY";  // AR with an archive type beginning with "I"
    std::string start = "DAY-1";        // AR only
    std::string stop = "DAY";           // AR only
    std::string value;                  // M-200/M-230: the value text as typed
    int maxAttempts = 3;
};

std::string BuildTaskXml(const TaskRequest& task);
// The Task row's Name ("ZARNIC.0001.Energy", "M-200.P1") and Comment ("R", "W", "AR D",
// "AR I 30 MIN"; empty for M-200 and M-230).
std::string TaskRowName(const TaskRequest& task);
std::string TaskRowComment(const TaskRequest& task);

// The Value of a ZARNIC request: the new value (followed by CR LF and "?" for a read) encoded
// for the variable as hexadecimal request bytes; empty when the variable is unknown or the text
// does not parse.
std::string ZarnicRequestValue(std::string_view var, std::string_view opCode,
                               std::string_view newValue);

// A stored request XML read back, with the defaults of a missing element or attribute.
struct StoredTask {
    std::string syntax;  // the root's Syntax; "" when missing
    std::string var = "<NULL>";
    std::string opCode = "R";
    std::string text;   // Text with the line-break encoding undone
    std::string value;  // Value as stored
    std::string arcType = "I";
    std::string arcInterval = "1 DAY";
    std::string start = "DAY-1";
    std::string stop = "DAY";
    int maxAttempts = 3;  // a value that is not a number leaves 3
};
StoredTask ReadTaskXml(std::string_view xml);

// ---- the work file ----

// The target list of a work file: "ANY" or the meter addresses joined by "," without blanks.
inline constexpr std::string_view kAnyMeter = "ANY";
std::string JoinTargets(const std::vector<std::string>& meterAddresses);

struct WorkFileTask {
    int64_t uid = 0;  // UID of the Task row
    std::string xml;  // its stored request XML
};

struct WorkFileParts {
    std::optional<int64_t> workUid;      // UID of the Work row; none in the preview
    std::string workXml;                 // the stored work XML
    std::optional<std::string> targets;  // the target list; none leaves out workTarget
    std::vector<WorkFileTask> tasks;     // in the order the database returns them
};

// The work file's lines, each ended by CR LF: the declaration, "<root>", the workUID line, the
// stored work's children, the workTarget line, every request (taskUID inserted, indented two
// more blanks), "</root>".
std::string BuildWorkFileText(const WorkFileParts& parts);
// What is written to the inbox: the text followed by one more CR LF.
std::string WorkFileContents(std::string_view text);

// The request's lines for a work file: taskUID="<uid>" and a blank inserted right after the
// first "task " of its first line (when there is one), every line indented by two blanks and
// ended by CR LF.
std::string TaskLinesWithUid(std::string_view taskXml, int64_t taskUid);
// The "  <workUID Value="<uid>"/>" line inserted as the third line of a work file text (after
// the declaration and "<root>"). A text of fewer than two lines is returned unchanged.
std::string InsertWorkUidLine(std::string_view text, int64_t workUid);

}  // namespace zb::work
