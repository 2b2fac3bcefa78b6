#include "platform/DBusSingleInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QObject>

namespace kelpie {

namespace {

// A hand-over waits this long for the owner to take it; an owner that
// hangs longer is treated as gone.
constexpr int handOverTimeout = 10'000;

} // namespace

// The exported object: its scriptable slots are the bus methods.
class DBusSingleInstance::Adaptor : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "io.kelpie.Kelpie")

public:
    explicit Adaptor(DBusSingleInstance& owner) : m_owner(owner) { }

public Q_SLOTS:
    Q_SCRIPTABLE void CaptureNow()
    {
        if (m_owner.onRequest)
            m_owner.onRequest(Request::captureNow);
    }

private:
    DBusSingleInstance& m_owner;
};

QString DBusSingleInstance::serviceName() { return QStringLiteral("io.kelpie.Kelpie"); }

QString DBusSingleInstance::objectPath() { return QStringLiteral("/io/kelpie/Kelpie"); }

QString DBusSingleInstance::interfaceName() { return QStringLiteral("io.kelpie.Kelpie"); }

DBusSingleInstance::DBusSingleInstance() : m_adaptor(std::make_unique<Adaptor>(*this)) { }

DBusSingleInstance::~DBusSingleInstance()
{
    if (!m_owner)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(objectPath());
    bus.unregisterService(serviceName());
}

Result<bool, SingleInstance::Error> DBusSingleInstance::claim()
{
    if (m_owner)
        return true;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return {Error::noSessionBus, bus.lastError().message().toStdString()};
    // The object is in place before the name is taken, so a caller that
    // sees the name always finds the method.
    if (!bus.registerObject(objectPath(), m_adaptor.get(), QDBusConnection::ExportScriptableSlots))
        return {Error::noSessionBus, "cannot export " + objectPath().toStdString()};
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply
        = bus.interface()->registerService(serviceName(),
                                           QDBusConnectionInterface::DontQueueService,
                                           QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        m_owner = true;
        return true;
    }
    bus.unregisterObject(objectPath());
    if (!reply.isValid())
        return {Error::noSessionBus, reply.error().message().toStdString()};
    return false;
}

Status<SingleInstance::Error> DBusSingleInstance::handOver(Request request)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return {Error::noSessionBus, bus.lastError().message().toStdString()};
    QString method;
    switch (request) {
    case Request::captureNow: method = QStringLiteral("CaptureNow"); break;
    }
    const QDBusMessage call
        = QDBusMessage::createMethodCall(serviceName(), objectPath(), interfaceName(), method);
    const QDBusMessage reply = bus.call(call, QDBus::Block, handOverTimeout);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return {Error::notDelivered, reply.errorMessage().toStdString()};
    return Done{};
}

} // namespace kelpie

#include "DBusSingleInstance.moc"
