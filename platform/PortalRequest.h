#pragma once

#include "core/Result.h"

#include <QDBusConnection>
#include <QFuture>
#include <QObject>
#include <QPromise>
#include <QString>
#include <QTimer>
#include <QVariantList>
#include <QVariantMap>

#include <chrono>
#include <functional>

class QDBusPendingCallWatcher;

namespace kelpie {

// One call of a desktop portal method that answers later, through the
// Response signal of a Request object, and the waiting for that answer.
//
// The Request's object path is known before the call: the portal builds it
// from the caller's unique bus name and the handle_token passed in the
// options. The Response is subscribed to on that path before the call is
// sent, so an answer that comes before the call's own reply is not lost; a
// portal that names another path in its reply is followed there.
//
// Before its first portal call on a connection, the process registers its
// application id with the portal's host registry, once; a portal without
// that registry (older ones) is called all the same.
//
// Everything happens on the main thread; the future finishes there.
class PortalRequest final : public QObject {
    Q_OBJECT

public:
    enum class Error {
        // The user dismissed the portal's dialog (response 1).
        cancelled,
        // The portal or the desktop behind it failed, or the call itself
        // was refused (response 2, a bus error, a malformed reply).
        failed,
        // No answer within the time allowed.
        timedOut,
    };
    using Outcome = Result<QVariantMap, Error>;

    // The application id the portal sees for this process.
    static QString applicationId();
    // Where the portal lives on the session bus.
    static QString service();
    static QString desktopPath();

    // Calls `method` of `interface` on the portal's desktop object with
    // `arguments` followed by `options`, to which a fresh handle_token is
    // added, and finishes with the Response's results (response 0) or an
    // error. The request gives up after `timeout`, asking the portal to close
    // it.
    static QFuture<Outcome> send(const QDBusConnection& connection, const QString& interface,
                                 const QString& method, QVariantList arguments, QVariantMap options,
                                 std::chrono::milliseconds timeout);

    // Offers the application id to the portal on `connection` now, waiting
    // for the answer (briefly), unless that was done or is under way. For
    // synchronous reads of the portal (its properties) that must not come
    // first; send() does the same on its own, without waiting.
    static void registerApplication(const QDBusConnection& connection);

    // The object path the portal gives the Request of a call with `token`
    // made on `connection`.
    static QString requestPath(const QDBusConnection& connection, const QString& token);
    // A token no other call of this process has used.
    static QString newToken();

private Q_SLOTS:
    void onResponse(uint code, const QVariantMap& results);

private:
    PortalRequest(const QDBusConnection& connection, std::chrono::milliseconds timeout);

    // Runs `next` once the application id has been offered to the portal on
    // `connection` (at once if that happened before).
    static void afterRegistration(const QDBusConnection& connection, QObject* context,
                                  std::function<void()> next);

    void start(const QString& interface, const QString& method, QVariantList arguments,
               QVariantMap options);
    void onCallReturned(QDBusPendingCallWatcher& call);
    void follow(const QString& handle);
    void finish(Outcome outcome);

    QDBusConnection m_connection;
    std::chrono::milliseconds m_timeout;
    QString m_handle;
    QPromise<Outcome> m_promise;
    QTimer m_timer;
    bool m_finished = false;
};

} // namespace kelpie
