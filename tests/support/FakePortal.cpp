#include "FakePortal.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QThread>

namespace kelpie::test {

namespace {

QString desktopName() { return QStringLiteral("org.freedesktop.portal.Desktop"); }
QString storeName() { return QStringLiteral("org.freedesktop.impl.portal.PermissionStore"); }

} // namespace

FakePortal::FakePortal()
{
    static int instances = 0;
    m_connectionName = QStringLiteral("kelpie-fake-portal-%1").arg(++instances);

    m_bus.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--config-file=" KELPIE_PRIVATE_BUS_CONFIG),
                 QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    if (!m_bus.waitForStarted(5000) || !m_bus.waitForReadyRead(5000)) {
        m_error = QStringLiteral("dbus-daemon did not start: ") + m_bus.errorString();
        return;
    }
    m_address = QString::fromUtf8(m_bus.readLine()).trimmed();

    m_portal.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_portal.start(QStringLiteral(KELPIE_TEST_PYTHON),
                   {QStringLiteral(KELPIE_FAKE_PORTAL), QStringLiteral("--address"), m_address});
    if (!m_portal.waitForStarted(5000)) {
        m_error = QStringLiteral("the fake portal did not start: ") + m_portal.errorString();
        return;
    }
    QDBusConnection bus = QDBusConnection::connectToBus(m_address, m_connectionName);
    if (!bus.isConnected()) {
        m_error = QStringLiteral("cannot connect to the private bus: ") + bus.lastError().message();
        return;
    }
    const QDeadlineTimer deadline(15000);
    while (!bus.interface()->isServiceRegistered(desktopName())
           || !bus.interface()->isServiceRegistered(storeName())) {
        if (deadline.hasExpired() || m_portal.state() != QProcess::Running) {
            m_error = QStringLiteral("the fake portal did not come up");
            return;
        }
        QThread::msleep(20);
    }
}

FakePortal::~FakePortal()
{
    QDBusConnection::disconnectFromBus(m_connectionName);
    for (QProcess* process : {&m_portal, &m_bus}) {
        if (process->state() == QProcess::NotRunning)
            continue;
        process->terminate();
        if (!process->waitForFinished(5000)) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
}

QDBusConnection FakePortal::connection() const { return QDBusConnection(m_connectionName); }

void FakePortal::control(const QString& method, const QVariantList& arguments) const
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        desktopName(), QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("io.kelpie.test.FakePortal"), method);
    call.setArguments(arguments);
    connection().call(call, QDBus::Block, 5000);
}

void FakePortal::answer(const QString& method, uint code, const QVariantMap& results,
                        const QString& timing)
{
    control(QStringLiteral("Answer"), {method, code, results, timing});
}

void FakePortal::setPermission(const QString& entry)
{
    control(QStringLiteral("SetPermission"), {entry});
}

void FakePortal::setRegistry(bool present) { control(QStringLiteral("SetRegistry"), {present}); }

void FakePortal::setShortcutsVersion(uint version)
{
    control(QStringLiteral("SetShortcutsVersion"), {version});
}

void FakePortal::activate(const QString& session, const QString& shortcutId)
{
    control(QStringLiteral("Activate"),
            {QVariant::fromValue(QDBusObjectPath(session)), shortcutId});
}

QJsonArray FakePortal::calls() const
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        desktopName(), QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("io.kelpie.test.FakePortal"), QStringLiteral("Calls"));
    const QDBusMessage reply = connection().call(call, QDBus::Block, 5000);
    if (reply.arguments().isEmpty())
        return {};
    return QJsonDocument::fromJson(reply.arguments().constFirst().toString().toUtf8()).array();
}

QJsonArray FakePortal::calls(const QString& method) const
{
    QJsonArray matching;
    for (const QJsonValue& call : calls()) {
        if (call.toObject().value(QStringLiteral("method")).toString() == method)
            matching.append(call);
    }
    return matching;
}

} // namespace kelpie::test
