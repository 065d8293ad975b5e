#pragma once
// What the core tells the screens. Connection threads call these; the window implements them by
// queueing the update onto its own thread and decides there whether the page in front shows the
// concentrator or meter concerned. Every method has an empty default, so a receiver overrides
// only what it shows. Headless, nobody listens.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zb::base {

// One row of a two-column key=value display (a meter's basic or archive information, a profile).
struct KeyValueRow {
    std::string key;
    std::string value;
    bool operator==(const KeyValueRow&) const = default;
};
using KeyValueRows = std::vector<KeyValueRow>;

class CoreEvents {
  public:
    virtual ~CoreEvents() = default;
    // A handshake recorded a new last address for the concentrator (ID text "%0.4X").
    virtual void CtrLastAddressChanged(const std::string& /*ctrId*/,
                                       const std::string& /*address*/) {}
    // The concentrator row's InfoBasic or Profile changed (GetParams / GetProfile answers).
    virtual void CtrValuesChanged(const std::string& /*ctrId*/) {}
    // A confirmed DeleteFile: the periodic works listed for the concentrator must be read again.
    virtual void PeriodicWorksChanged(const std::string& /*ctrId*/) {}
    // A measuring point's attributes changed (meter list, GetParams for a meter, noise).
    virtual void MeterValuesChanged(int64_t /*measuringPointUid*/) {}
    // Measuring points of a concentrator were added, claimed or deleted.
    virtual void MeasuringPointsChanged(const std::string& /*ctrId*/) {}
    // A profile file "profile-<projectId>-<profileId>.xml" was received into the mirror; `rows`
    // are its variables as the meter attributes view shows them. A page that shows a meter of
    // that profile puts them into its profile table.
    virtual void ProfileReceived(const std::string& /*ctrId*/, const std::string& /*projectId*/,
                                 const std::string& /*profileId*/, const KeyValueRows& /*rows*/) {}
};

// The installed receiver; never null (the default ignores everything).
CoreEvents& Events();
// Installs a receiver; null restores the default. Returns the previous one.
std::shared_ptr<CoreEvents> SetEvents(std::shared_ptr<CoreEvents> events);

}  // namespace zb::base
