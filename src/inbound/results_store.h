#pragma once
// The results store: every answered request of a work becomes one BigData row, tagged with the
// work and request UIDs, the measuring point, the variable, the operation and its outcome.
// Requests in the ZARNIC syntax have their values decoded into readable text through the device
// description catalogue; requests of any other syntax are stored as received.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "inbound/inbound_context.h"
#include "xml/xml_tree.h"

namespace zb::inbound {

// The answers of a task in the ZARNIC syntax. The work and task UIDs of context.request must be
// set. Each ans element with a Meter becomes one row.
void StoreZarnicRequestResults(InboundContext& context, const xml::TXMLItem& task, int64_t ctrUid);
// The answers of a task in any other syntax: values as received, no archive columns.
void StorePlainRequestResults(InboundContext& context, const xml::TXMLItem& task, int64_t ctrUid);

// The reference time of an answer: "YYYY-MM-DD-hh-mm-ss" (six decimal numbers) as seconds since
// 2000-01-01 00:00:00 local time. Raises EConvertError for anything else.
int64_t AnswerTimeStamp(std::string_view time);

// The answer of a function variable (type code 0x68): groups of 8 digits after the first two,
// each read in little-endian byte order and written as "%0.8X", one per line.
std::string FunctionAnswerText(std::string_view value);

// The meter's clock (0000.LocalTime): its date and time, and how far it is ahead of (+) or
// behind (-) the answer's reference time, e.g. "05.12.2026 14:03:09 [+12 сек]". A clock that
// lies outside the years 1 to 9999 keeps the value as received.
std::string MeterClockText(std::string_view value, int64_t referenceStamp);

// An archive answer split into its records.
struct ArchiveAnswer {
    bool decoded = false;     // at least one record was read
    std::string localTime;    // record times, one per line
    std::string masterClock;  // record master-clock times, one per line
    std::string value;        // record readings, one per line
    std::string fromPoint = "0";
    std::string toPoint = "0";
};
// Reads an archive value of a "DONE" answer: a 24-digit header, then records of 24 digits (time,
// master clock, reading; 8 digits each). A value shorter than 48 digits holds no record. A
// trailing piece of fewer than 24 digits is not a record and is ignored.
ArchiveAnswer DecodeArchiveAnswer(std::string_view varName, std::string_view value);

}  // namespace zb::inbound
