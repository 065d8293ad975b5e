#pragma once
// Meter lists and noise reports that a concentrator sends from its INFO\METERS folder.
//
// A meter list keeps the concentrator's measuring points in step with what it reports: a new
// meter becomes a measuring point of the concentrator, an unassigned point with a reported
// address is claimed, a known one gets its reported attributes refreshed.
//
//   <meters>
//     <meter address="0000000A">
//       <var Name="0000.SerialNumber" Value="..."/>
//       <arch AVID="00020100" Des="..."/>
//       <syntax Value="ZARNIC"/>
//     </meter>
//   </meters>
//
// A noise report (noise.xml) gives a noise figure per meter address:
//
//   <noise><channel><node address="0000000A" nrms="12.5"/></channel></noise>
#include <string>
#include <string_view>
#include <vector>

#include "inbound/inbound_context.h"
#include "xml/xml_tree.h"

namespace zb::inbound {

// Imports the meter list `text` of the concentrator `ctrId` as it is parsed: each meter is
// applied as soon as its end tag is read and then freed. Errors (parser, database, value
// conversions) propagate; meters applied before one stay until the caller's transaction is
// rolled back.
void ImportMeterInventoryText(InboundContext& context, std::string_view text,
                              const std::string& ctrId);

// Writes the noise figure of every listed address into every measuring point with that address,
// whatever its concentrator.
void ImportNoise(InboundContext& context, const xml::TXMLItem& root);

// Puts the line named "interface" first and then the line named "syntax" second (names compared
// without regard to case), by swapping each with the line in its place.
void ArrangeVariableLines(std::vector<std::string>& lines);

// "<archive name>=<descriptor text> (<AVID as %0.8X>)" for an arch element.
std::string ArchiveLine(const std::string& avid, const std::string& descriptor);

}  // namespace zb::inbound
