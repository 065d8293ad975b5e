#include "inbound/received_file_processor.h"

#include "base/program.h"
#include "inbound/inbound_context.h"
#include "inbound/meter_attributes.h"
#include "inbound/meter_inventory.h"
#include "inbound/result_file.h"
#include "xml/xml_tree.h"

namespace zb::inbound {

ReceivedFileProcessor::ReceivedFileProcessor() : programDir_(base::Program().programDir) {}

ReceivedFileProcessor::ReceivedFileProcessor(std::filesystem::path programDir)
    : programDir_(std::move(programDir)) {}

void ReceivedFileProcessor::HandleReceivedFile(const link::ReceivedFile& file) {
    switch (file.kind) {
        case link::ReceivedKind::Result:
        case link::ReceivedKind::MeterList:
        case link::ReceivedKind::Noise:
            Apply(file);
            break;
        case link::ReceivedKind::Profile:
            store_.HandleReceivedFile(file);
            RunProfileHook(file);
            break;
        case link::ReceivedKind::Periodic:
        case link::ReceivedKind::Other:
            store_.HandleReceivedFile(file);
            break;
    }
}

void ReceivedFileProcessor::Apply(const link::ReceivedFile& file) {
    xml::TECXMLParser document;
    document.LoadFromString(file.bytes);
    const xml::TXMLItem& root = *document.Root();

    storage::TSQLiteDatabase& db = storage::Database();
    InboundContext context(db, programDir_);
    {
        storage::TSQLiteTransaction transaction(db);
        switch (file.kind) {
            case link::ReceivedKind::Result:
                ProcessResultFile(context, root, file.ctrId);
                break;
            case link::ReceivedKind::MeterList:
                ImportMeterInventory(context, root, file.ctrId);
                link::WriteReceivedFile(file);
                break;
            case link::ReceivedKind::Noise:
                ImportNoise(context, root);
                link::WriteReceivedFile(file);
                break;
            default:
                break;
        }
        transaction.Commit();
    }
    context.events.Emit();
}

}  // namespace zb::inbound
