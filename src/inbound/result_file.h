#pragma once
// Result files: what a concentrator sends from its outbox. A result file carries the answers to
// the requests of one work (task elements) and the answers to service commands (command
// elements):
//
//   <anything>
//     <workUID Value="17"/>
//     <task TaskUID="5" Syntax="ZARNIC">
//       <req Var="0001.Energy" OpCode="R" .../>
//       <ans Meter="0000000A" Result="DONE" Time="2026-12-05-14-03-09" Value="..."/>
//     </task>
//     <command>
//       <req Var="GetParams" Value=""/>
//       <ans Result="DONE" Param="Version" Value="1.2"/>
//     </command>
//   </anything>
//
// The answers become BigData rows (results_store.h); command answers update the concentrator
// and its measuring points. The file itself is never stored.
#include <cstdint>
#include <string>
#include <string_view>

#include "inbound/inbound_context.h"
#include "xml/xml_tree.h"

namespace zb::inbound {

// Applies the result file `text` of the concentrator `ctrId` ("%0.4X") as it is parsed: each
// task is applied as soon as it is complete and then freed, so the file is never held whole as
// a tree. A file whose first workUID is missing or empty changes nothing. Errors (parser,
// database, conversions) propagate; rows stored before one stay until the caller's transaction
// is rolled back.
void ProcessResultText(InboundContext& context, std::string_view text, const std::string& ctrId);

// Applies one command element: GetProfile, GetParams, DeleteMeter, DeleteFile.
void ApplyCommandResult(InboundContext& context, const xml::TXMLItem& command, int64_t ctrUid);

// "x=1,y=2" -> the profile lines and the data-received line, as stored in CTR.Profile.
std::string ProfileText(const std::string& answerValue);

}  // namespace zb::inbound
