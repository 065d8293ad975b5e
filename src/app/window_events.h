#pragma once
// The core's events as the window receives them. Connection threads call the CoreEvents
// methods; each one is queued onto the window thread and re-emitted there as a signal, to which
// the pages that show the concentrator or meter concerned are connected.
#include <QObject>
#include <QString>
#include <mutex>

#include "base/events.h"

namespace zb::app {

class EventRelay : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;

  signals:
    void ctrLastAddressChanged(const QString& ctrId, const QString& address);
    void ctrValuesChanged(const QString& ctrId);
    void periodicWorksChanged(const QString& ctrId);
    void meterValuesChanged(qint64 measuringPointUid);
    void measuringPointsChanged(const QString& ctrId);
    void profileReceived(const QString& ctrId, const QString& projectId, const QString& profileId,
                         const zb::base::KeyValueRows& rows);
};

class WindowEvents : public base::CoreEvents {
  public:
    // The relay must live on the window thread and outlive every call (the window detaches
    // this receiver, and stops the link, before the relay goes away).
    explicit WindowEvents(EventRelay* relay) : relay_(relay) {}
    // After this returns no call reaches the relay any more.
    void Disconnect();

    void CtrLastAddressChanged(const std::string& ctrId, const std::string& address) override;
    void CtrValuesChanged(const std::string& ctrId) override;
    void PeriodicWorksChanged(const std::string& ctrId) override;
    void MeterValuesChanged(int64_t measuringPointUid) override;
    void MeasuringPointsChanged(const std::string& ctrId) override;
    void ProfileReceived(const std::string& ctrId, const std::string& projectId,
                         const std::string& profileId, const base::KeyValueRows& rows) override;

  private:
    // Queues `emitSignal` onto the relay's thread, unless disconnected.
    template <class Emit>
    void Post(Emit emitSignal);

    std::mutex mutex_;
    EventRelay* relay_;
};

}  // namespace zb::app
