#include "platform/PortalRequest.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>
#include <QRandomGenerator>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace kelpie {

namespace {

QString requestInterface() { return QStringLiteral("org.freedesktop.portal.Request"); }
QString responseSignal() { return QStringLiteral("Response"); }

// The registry answers at once when it exists; a portal too busy to answer
// this soon is called without it rather than blocking every capture.
constexpr int registrationTimeout = 5000;

// Whether the application id was offered on a connection, and who waits
// for that. Keyed by the connection's name; touched on the main thread only.
struct Registration {
    bool done = false;
    std::vector<std::pair<QPointer<QObject>, std::function<void()>>> waiting;
};

std::map<QString, Registration>& registrations()
{
    static std::map<QString, Registration> byConnection;
    return byConnection;
}

std::string describe(std::chrono::milliseconds timeout)
{
    return "the portal did not answer within " + std::to_string(timeout.count()) + " ms";
}

} // namespace

QString PortalRequest::applicationId() { return QStringLiteral("io.kelpie.Kelpie"); }

QString PortalRequest::service() { return QStringLiteral("org.freedesktop.portal.Desktop"); }

QString PortalRequest::desktopPath() { return QStringLiteral("/org/freedesktop/portal/desktop"); }

QString PortalRequest::requestPath(const QDBusConnection& connection, const QString& token)
{
    QString sender = connection.baseService();
    if (sender.startsWith(QLatin1Char(':')))
        sender.remove(0, 1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return desktopPath() + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
}

QString PortalRequest::newToken()
{
    // The counter keeps tokens apart within the process; the random part
    // keeps them apart from a previous process that had the same bus name.
    static quint32 counter = 0;
    return QStringLiteral("kelpie%1_%2")
        .arg(++counter)
        .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

PortalRequest::PortalRequest(const QDBusConnection& connection, std::chrono::milliseconds timeout)
    : m_connection(connection), m_timeout(timeout)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        // The portal may still show a dialog for it; ask it to go away.
        if (!m_handle.isEmpty()) {
            m_connection.send(QDBusMessage::createMethodCall(
                service(), m_handle, requestInterface(), QStringLiteral("Close")));
        }
        finish(Outcome(Error::timedOut, describe(m_timeout)));
    });
    m_promise.start();
}

QFuture<PortalRequest::Outcome> PortalRequest::send(const QDBusConnection& connection,
                                                    const QString& interface, const QString& method,
                                                    QVariantList arguments, QVariantMap options,
                                                    std::chrono::milliseconds timeout)
{
    auto* request = new PortalRequest(connection, timeout);
    QFuture<Outcome> future = request->m_promise.future();
    if (!connection.isConnected()) {
        request->finish(Outcome(Error::failed, "there is no session bus"));
        return future;
    }
    // The time allowed covers the registration too.
    request->m_timer.start(timeout);
    afterRegistration(connection, request,
                      [request, interface, method, arguments = std::move(arguments),
                       options = std::move(options)]() mutable {
                          request->start(interface, method, std::move(arguments),
                                         std::move(options));
                      });
    return future;
}

namespace {

QDBusMessage registerCall()
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        PortalRequest::service(), PortalRequest::desktopPath(),
        QStringLiteral("org.freedesktop.host.portal.Registry"), QStringLiteral("Register"));
    call.setArguments({PortalRequest::applicationId(), QVariantMap()});
    return call;
}

} // namespace

void PortalRequest::registerApplication(const QDBusConnection& connection)
{
    Registration& registration = registrations()[connection.name()];
    if (registration.done || !registration.waiting.empty())
        return;
    // Any answer will do; see afterRegistration().
    connection.call(registerCall(), QDBus::Block, registrationTimeout);
    registration.done = true;
}

void PortalRequest::afterRegistration(const QDBusConnection& connection, QObject* context,
                                      std::function<void()> next)
{
    Registration& registration = registrations()[connection.name()];
    if (registration.done) {
        next();
        return;
    }
    const bool first = registration.waiting.empty();
    registration.waiting.emplace_back(context, std::move(next));
    if (!first)
        return;

    auto* watcher
        = new QDBusPendingCallWatcher(connection.asyncCall(registerCall(), registrationTimeout));
    const QString name = connection.name();
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [name](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         // Whatever the answer: without the registry (or
                         // after an earlier call) the portal goes by the
                         // process it sees, and is called all the same.
                         Registration& done = registrations()[name];
                         done.done = true;
                         auto waiting = std::move(done.waiting);
                         done.waiting.clear();
                         for (auto& [waiter, run] : waiting) {
                             if (waiter)
                                 run();
                         }
                     });
}

void PortalRequest::start(const QString& interface, const QString& method, QVariantList arguments,
                          QVariantMap options)
{
    if (m_finished)
        return;
    const QString token = newToken();
    follow(requestPath(m_connection, token));
    options.insert(QStringLiteral("handle_token"), token);
    arguments.append(options);

    QDBusMessage call = QDBusMessage::createMethodCall(service(), desktopPath(), interface, method);
    call.setArguments(arguments);
    const int callTimeout = static_cast<int>(m_timeout.count());
    auto* watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(call, callTimeout), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                onCallReturned(*finished);
            });
}

void PortalRequest::onCallReturned(QDBusPendingCallWatcher& call)
{
    if (m_finished)
        return;
    const QDBusPendingReply<QDBusObjectPath> reply = call;
    if (reply.isError()) {
        finish(Outcome(
            Error::failed,
            (reply.error().name() + QStringLiteral(": ") + reply.error().message()).toStdString()));
        return;
    }
    const QString handle = reply.value().path();
    // Portals older than the predictable path name another one.
    if (handle != m_handle)
        follow(handle);
}

void PortalRequest::follow(const QString& handle)
{
    if (!m_handle.isEmpty()) {
        m_connection.disconnect(service(), m_handle, requestInterface(), responseSignal(), this,
                                SLOT(onResponse(uint, QVariantMap)));
    }
    m_handle = handle;
    if (!m_handle.isEmpty()) {
        m_connection.connect(service(), m_handle, requestInterface(), responseSignal(), this,
                             SLOT(onResponse(uint, QVariantMap)));
    }
}

void PortalRequest::onResponse(uint code, const QVariantMap& results)
{
    switch (code) {
    case 0: finish(Outcome(results)); return;
    case 1: finish(Outcome(Error::cancelled, "the user cancelled the portal's dialog")); return;
    default: finish(Outcome(Error::failed, "the portal answered " + std::to_string(code))); return;
    }
}

void PortalRequest::finish(Outcome outcome)
{
    if (m_finished)
        return;
    m_finished = true;
    m_timer.stop();
    follow(QString());
    m_promise.addResult(std::move(outcome));
    m_promise.finish();
    deleteLater();
}

} // namespace kelpie
