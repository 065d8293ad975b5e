#include "app/window_events.h"

#include <QMetaObject>

namespace zb::app {

namespace {
QString Q(const std::string& text) {
    return QString::fromStdString(text);
}
}  // namespace

void WindowEvents::Disconnect() {
    std::lock_guard lock(mutex_);
    relay_ = nullptr;
}

template <class Emit>
void WindowEvents::Post(Emit emitSignal) {
    std::lock_guard lock(mutex_);
    if (relay_ != nullptr) {
        QMetaObject::invokeMethod(
            relay_, [relay = relay_, emitSignal] { emitSignal(relay); }, Qt::QueuedConnection);
    }
}

// Every method queues its signal onto the relay's (the window's) thread.

void WindowEvents::CtrLastAddressChanged(const std::string& ctrId, const std::string& address) {
    Post([id = Q(ctrId), a = Q(address)](EventRelay* r) { emit r->ctrLastAddressChanged(id, a); });
}

void WindowEvents::CtrValuesChanged(const std::string& ctrId) {
    Post([id = Q(ctrId)](EventRelay* r) { emit r->ctrValuesChanged(id); });
}

void WindowEvents::PeriodicWorksChanged(const std::string& ctrId) {
    Post([id = Q(ctrId)](EventRelay* r) { emit r->periodicWorksChanged(id); });
}

void WindowEvents::MeterValuesChanged(int64_t measuringPointUid) {
    Post([uid = qint64{measuringPointUid}](EventRelay* r) { emit r->meterValuesChanged(uid); });
}

void WindowEvents::MeasuringPointsChanged(const std::string& ctrId) {
    Post([id = Q(ctrId)](EventRelay* r) { emit r->measuringPointsChanged(id); });
}

void WindowEvents::ProfileReceived(const std::string& ctrId, const std::string& projectId,
                                   const std::string& profileId, const base::KeyValueRows& rows) {
    Post([id = Q(ctrId), project = Q(projectId), profile = Q(profileId), rows](EventRelay* r) {
        emit r->profileReceived(id, project, profile, rows);
    });
}

}  // namespace zb::app
