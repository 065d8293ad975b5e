#include "inbound/inbound_context.h"

#include "base/clock.h"
#include "base/events.h"
#include "storage/stored_text.h"
#include "xml/xml_tree.h"

namespace zb::inbound {

void PendingEvents::Note(Event event) {
    const bool first =
        event.kind == Kind::MeterValues
            ? notedPoints_.insert(event.uid).second
            : noted_.insert(std::to_string(static_cast<int>(event.kind)) + '\n' + event.ctrId)
                  .second;
    if (first) {
        events_.push_back(std::move(event));
    }
}

void PendingEvents::CtrValuesChanged(const std::string& ctrId) {
    Note({Kind::CtrValues, ctrId, 0});
}

void PendingEvents::PeriodicWorksChanged(const std::string& ctrId) {
    Note({Kind::PeriodicWorks, ctrId, 0});
}

void PendingEvents::MeterValuesChanged(int64_t measuringPointUid) {
    Note({Kind::MeterValues, std::string(), measuringPointUid});
}

void PendingEvents::MeasuringPointsChanged(const std::string& ctrId) {
    Note({Kind::MeasuringPoints, ctrId, 0});
}

void PendingEvents::Emit() {
    std::vector<Event> events;
    events.swap(events_);
    noted_.clear();
    notedPoints_.clear();
    base::CoreEvents& receiver = base::Events();
    for (const Event& event : events) {
        switch (event.kind) {
            case Kind::CtrValues:
                receiver.CtrValuesChanged(event.ctrId);
                break;
            case Kind::PeriodicWorks:
                receiver.PeriodicWorksChanged(event.ctrId);
                break;
            case Kind::MeterValues:
                receiver.MeterValuesChanged(event.uid);
                break;
            case Kind::MeasuringPoints:
                receiver.MeasuringPointsChanged(event.ctrId);
                break;
        }
    }
}

int64_t FirstInt64(storage::TSQLiteDatabase& db, const std::string& sql) {
    auto table = db.QueryTable(sql);
    if (table->RowCount() == 0) {
        return 0;
    }
    return table->FieldInt64(0);
}

int64_t CtrUidOf(storage::TSQLiteDatabase& db, std::string_view ctrId) {
    return db.Statement("SELECT UID from CTR WHERE ID=?")->BindStoredText(1, ctrId).FirstInt64();
}

std::string Attribute(const xml::TXMLItem* item, std::string_view name,
                      std::string_view defaultValue) {
    std::string value;
    xml::ReadParam(item, name, defaultValue, value);
    return value;
}

std::string_view AttributeView(const xml::TXMLItem* item, std::string_view name,
                               std::string_view defaultValue) {
    if (item == nullptr) {
        return defaultValue;
    }
    const int index = item->Params().IndexOfName(name);
    if (index < 0) {
        return defaultValue;
    }
    const std::string& value = item->Params().ValueFromIndex(index);
    // Two double quotes and nothing between them read as an empty value (as ReadParam).
    return value == "\"\"" ? std::string_view() : std::string_view(value);
}

bool IsNamed(const xml::TXMLItem& item, std::string_view name) {
    const xml::TXMLItem* parent = item.Parent();
    return parent != nullptr && xml::FindItem(parent, parent->IndexOf(&item), name) == &item;
}

std::string JoinLines(const std::vector<std::string>& lines, bool finalBreak) {
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            text += "\r\n";
        }
        text += lines[i];
    }
    if (finalBreak && !lines.empty()) {
        text += "\r\n";
    }
    return text;
}

std::string DataReceivedLine() {
    return "Данные получены=" + base::FormatDateTime(base::LocalNow());
}

std::string FormatTenDigits(int64_t value) {
    // Written by hand: it runs for every record of every archive answer.
    char digits[24];
    char* end = digits + sizeof digits;
    char* first = end;
    uint64_t magnitude =
        value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    do {
        *--first = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (end - first < 10) {
        *--first = '0';
    }
    if (value < 0) {
        *--first = '-';
    }
    return std::string(first, end);
}

}  // namespace zb::inbound
