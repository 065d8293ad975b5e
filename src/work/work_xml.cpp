#include "work/work_xml.h"

#include <charconv>

#include "base/text.h"
#include "devices/value_formats.h"
#include "xml/xml_tree.h"

namespace zb::work {

namespace {

const char* const kXmlDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";

std::optional<int> ParseInt(std::string_view text) {
    const std::string t = base::Trim(text);
    std::string_view digits = t;
    if (!digits.empty() && digits.front() == '+') {
        digits.remove_prefix(1);
    }
    int value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    return value;
}

FactorCode Split(std::string_view text, bool factorFromWholeText) {
    FactorCode result;
    const size_t blank = text.find(' ');
    if (blank == std::string_view::npos) {
        if (factorFromWholeText) {
            result.factor = ParseInt(text);
        }
        result.code = std::string(text);
    } else {
        result.factor = ParseInt(text.substr(0, blank));
        result.code = std::string(text.substr(blank + 1));
    }
    return result;
}

// Loads a stored text; a text that cannot be read gives an empty tree, so every look-up falls
// back to its default.
void Load(xml::TECXMLParser& document, std::string_view text) {
    try {
        document.LoadFromString(text);
    } catch (const std::exception&) {
        document.Root()->Clear();
    }
}

std::string Read(const xml::TXMLItem* parent, std::string_view child, std::string_view param,
                 std::string_view defaultValue) {
    std::string value;
    xml::TXMLItem* found = nullptr;
    xml::ReadChildParam(parent, 0, child, param, defaultValue, value, found);
    return value;
}

std::string ReadOwn(const xml::TXMLItem* item, std::string_view param,
                    std::string_view defaultValue) {
    std::string value;
    xml::ReadParam(item, param, defaultValue, value);
    return value;
}

}  // namespace

const std::vector<std::string>& IntervalCodes() {
    static const std::vector<std::string> codes = {"MIN", "HOUR", "DAY", "WEEK", "MON", "YEAR"};
    return codes;
}

const std::vector<std::string>& ArchiveTypeCaptions() {
    static const std::vector<std::string> captions = {
        "I - интервальный",
        "D - архив изменений",
        "F - архив зафиксированных значений",
        "IMIN - интервальный, минимальных значений",
        "IMAX - интервальный, максимальных значений",
    };
    return captions;
}

const std::string& EventArchiveCaption() {
    static const std::string caption = "LOG - журнал событий";
    return caption;
}

std::string ArchiveTypeCode(std::string_view caption) {
    const size_t dash = caption.find(" -");
    return std::string(dash == std::string_view::npos ? caption : caption.substr(0, dash));
}

std::string FactorText(int factor, std::string_view code) {
    return std::to_string(factor) + " " + std::string(code);
}

FactorCode SplitPeriod(std::string_view text) {
    return Split(text, true);
}

FactorCode SplitDuration(std::string_view text) {
    return Split(text, false);
}

std::string NodeText(std::string_view name, std::string_view comment) {
    std::string text(name);
    if (!comment.empty()) {
        text += " [" + std::string(comment) + "]";
    }
    return text;
}

// ---- work XML ----

std::string BuildWorkXml(const WorkDefinition& work) {
    xml::TECXMLParser document;
    xml::TXMLItem* root = document.Root();
    root->SetName("root");
    xml::TXMLItem* name = root->New();
    name->SetName("workName");
    name->Params().Add("Value", work.name);
    xml::TXMLItem* type = root->New();
    type->SetName("workType");
    type->Params().Add("Value", work.periodic ? "Periodic" : "Single");
    if (work.periodic) {
        type->Params().Add("Period", work.period);
    }
    xml::TXMLItem* duration = root->New();
    duration->SetName("workDurationMax");
    duration->Params().Add("Value", work.durationMax);
    return document.SaveToString();
}

std::string WorkRowName(const WorkDefinition& work) {
    return work.name;
}

std::string WorkRowComment(const WorkDefinition& work) {
    return work.periodic ? work.period : std::string();
}

StoredWork ReadWorkXml(std::string_view text) {
    xml::TECXMLParser document;
    Load(document, text);
    const xml::TXMLItem* root = document.Root();
    StoredWork work;
    work.name = Read(root, "workName", "Value", work.name);
    work.type = Read(root, "workType", "Value", work.type);
    work.period = Read(root, "workType", "Period", work.period);
    work.durationMax = Read(root, "workDurationMax", "Value", work.durationMax);
    return work;
}

// ---- request XML ----

std::string ZarnicRequestValue(std::string_view var, std::string_view opCode,
                               std::string_view newValue) {
    std::string text = std::string(newValue) + "\r\n";
    if (opCode == "R") {
        text += "?";
    }
    return devices::EncodeVarValue(var, base::Trim(text));
}

std::string BuildTaskXml(const TaskRequest& task) {
    xml::TECXMLParser document;
    xml::TXMLItem* root = document.Root();
    root->SetName("task");
    root->Params().Add("Syntax", task.syntax);
    xml::TXMLItem* req = root->New();
    req->SetName("req");
    xml::TXMLParams& params = req->Params();
    params.Add("Var", task.var);
    if (task.syntax == kSyntaxZarnic) {
        params.Add("OpCode", task.opCode);
        if (task.newValue && !task.newValue->empty()) {
            params.Add("Text", devices::LineBreaksToBackslash(*task.newValue));
            params.Add("Value", ZarnicRequestValue(task.var, task.opCode, *task.newValue));
        }
        if (task.opCode == "AR") {
            params.Add("ArcType", task.arcType);
            if (task.arcType.starts_with("I")) {
                params.Add("ArcInterval", task.arcInterval);
            }
            params.Add("Start", task.start);
            params.Add("Stop", task.stop);
        }
    } else {
        params.Add("Value", base::Trim(task.value));
    }
    params.Add("MaxAttempts", std::to_string(task.maxAttempts));
    return document.SaveToString();
}

std::string TaskRowName(const TaskRequest& task) {
    return task.syntax + "." + task.var;
}

std::string TaskRowComment(const TaskRequest& task) {
    if (task.syntax != kSyntaxZarnic) {
        return {};
    }
    std::string comment = task.opCode;
    if (task.opCode == "AR") {
        comment += " " + task.arcType;
        if (task.arcType.starts_with("I")) {
            comment += " " + task.arcInterval;
        }
    }
    return comment;
}

StoredTask ReadTaskXml(std::string_view text) {
    xml::TECXMLParser document;
    Load(document, text);
    const xml::TXMLItem* root = document.Root();
    const xml::TXMLItem* req = xml::FindItem(root, 0, "req");
    StoredTask task;
    task.syntax = ReadOwn(root, "Syntax", "");
    if (const auto attempts = ParseInt(ReadOwn(req, "MaxAttempts", "3"))) {
        task.maxAttempts = *attempts;
    }
    task.var = ReadOwn(req, "Var", task.var);
    task.opCode = ReadOwn(req, "OpCode", task.opCode);
    task.text = devices::BackslashToLineBreaks(ReadOwn(req, "Text", ""));
    task.value = ReadOwn(req, "Value", "");
    task.arcType = ReadOwn(req, "ArcType", task.arcType);
    task.arcInterval = ReadOwn(req, "ArcInterval", task.arcInterval);
    task.start = ReadOwn(req, "Start", task.start);
    task.stop = ReadOwn(req, "Stop", task.stop);
    return task;
}

// ---- the work file ----

std::string JoinTargets(const std::vector<std::string>& meterAddresses) {
    std::string list;
    for (size_t i = 0; i < meterAddresses.size(); ++i) {
        if (i > 0) {
            list += ",";
        }
        list += meterAddresses[i];
    }
    return list;
}

std::string TaskLinesWithUid(std::string_view taskXml, int64_t taskUid) {
    std::string out;
    std::vector<std::string> lines = base::SplitLines(taskXml);
    if (!lines.empty()) {
        const size_t pos = lines[0].find("task ");
        if (pos != std::string::npos) {
            lines[0].insert(pos + 5, "taskUID=\"" + std::to_string(taskUid) + "\" ");
        }
    }
    for (const std::string& line : lines) {
        out += "  " + line + "\r\n";
    }
    return out;
}

std::string BuildWorkFileText(const WorkFileParts& parts) {
    std::vector<std::string> lines = base::SplitLines(parts.workXml);
    // The stored work's last line closes its root; everything else goes in before it. An empty
    // stored text stands for an empty root.
    std::string closing = "</root>";
    if (lines.empty()) {
        lines.push_back("<root>");
    } else if (lines.size() > 1) {
        closing = lines.back();
        lines.pop_back();
    }
    std::string text = std::string(kXmlDeclaration) + "\r\n";
    for (size_t i = 0; i < lines.size(); ++i) {
        text += lines[i] + "\r\n";
        if (i == 0 && parts.workUid) {
            text += "  <workUID Value=\"" + std::to_string(*parts.workUid) + "\"/>\r\n";
        }
    }
    if (parts.targets) {
        text += "  <workTarget Meter=\"" + *parts.targets + "\"/>\r\n";
    }
    for (const WorkFileTask& task : parts.tasks) {
        text += TaskLinesWithUid(task.xml, task.uid);
    }
    text += closing + "\r\n";
    return text;
}

std::string WorkFileContents(std::string_view text) {
    return std::string(text) + "\r\n";
}

std::string InsertWorkUidLine(std::string_view text, int64_t workUid) {
    const std::vector<std::string> lines = base::SplitLines(text);
    if (lines.size() < 2) {
        return std::string(text);
    }
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        out += lines[i] + "\r\n";
        if (i == 1) {
            out += "  <workUID Value=\"" + std::to_string(workUid) + "\"/>\r\n";
        }
    }
    return out;
}

}  // namespace zb::work
