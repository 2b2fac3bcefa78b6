#pragma once

#include "platform/HotkeyService.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace kelpie {

// Global hot keys on a Wayland desktop, through the global shortcuts portal
// (org.freedesktop.portal.GlobalShortcuts, version 1 or later).
//
// The portal does not take one key combination at a time: the application
// opens a session and binds its whole set of shortcuts, each under a fixed
// id with a description and a preferred trigger, and the desktop (often
// after asking the user, who may pick other keys) answers later. This
// service bridges that to the one-call-per-combination interface:
// - registerHotkey() always succeeds at once; every change made in one
//   event-loop turn (the hot-key manager's apply() is one) is bound
//   together at the next turn, and a set equal to the one bound is not
//   bound again;
// - a refusal or failure that comes later is reported through the failure
//   handler, with a message for the tray's warning row; the registrations
//   stay, and the next change binds again;
// - while a bind is in flight, changes wait for it and are bound after.
//
// The ids the desktop remembers are "capture", "pin" and "fallback-capture".
// A registration is not told what it is for, so the service names it from
// what the hot-key manager does: Control+Option+S is its fixed second
// capture key ("fallback-capture"); any other registration takes the name
// that a registration removed in the same turn freed (a changed key keeps
// its name), else the first free of "capture" and "pin", in the order
// registered (the manager registers capture before pin). Presses find the
// registration by name, so a press always reaches the identity registered,
// even where swapping the two keys left each under the other's name.
//
// The session is opened with a fixed token, so the desktop finds the
// bindings it remembers for this application.
class PortalHotkeyService final : public QObject, public HotkeyService {
    Q_OBJECT

public:
    // Called on the main thread with the message to show when the desktop
    // refused the shortcuts or binding them failed.
    using FailureHandler = std::function<void(const QString& message)>;

    struct Shortcut {
        QString id;
        QString description;
        // Empty when the key has no name the desktop would understand.
        QString preferredTrigger;

        friend bool operator==(const Shortcut&, const Shortcut&) = default;
    };

    // Opening the session and binding may each wait for the user to answer
    // the desktop's dialog.
    static constexpr std::chrono::milliseconds defaultTimeout{120'000};

    explicit PortalHotkeyService(QDBusConnection connection = QDBusConnection::sessionBus());
    ~PortalHotkeyService() override;

    PortalHotkeyService(const PortalHotkeyService&) = delete;
    PortalHotkeyService& operator=(const PortalHotkeyService&) = delete;

    // True when the desktop's portal offers global shortcuts (version 1 or
    // later). Asks the portal and waits for its answer, briefly.
    static bool available(const QDBusConnection& connection = QDBusConnection::sessionBus());

    // A combination as the desktop takes it: modifiers (Command, Control,
    // Option, Shift as LOGO, CTRL, ALT, SHIFT) joined with the key's keysym
    // name by "+", e.g. "CTRL+ALT+S". Empty when the key has no name.
    static QString preferredTrigger(std::uint32_t keyCode, std::uint32_t modifiers);

    void setFailureHandler(FailureHandler handler);
    void setTimeout(std::chrono::milliseconds timeout);

    // The message of the last refusal or failure; cleared by a bind that
    // succeeds.
    const std::optional<QString>& lastFailure() const { return m_lastFailure; }
    // The set the desktop last accepted, and the session it belongs to.
    const std::vector<Shortcut>& boundShortcuts() const { return m_bound; }
    const QString& sessionHandle() const { return m_session; }

    bool installHandler(PressHandler handler) override;
    void removeHandler() override;
    std::optional<Reference> registerHotkey(std::uint32_t keyCode, std::uint32_t modifiers,
                                            HotkeyID identity) override;
    void unregisterHotkey(Reference reference) override;

private Q_SLOTS:
    void onActivated(const QDBusMessage& signal);

private:
    struct Registration {
        std::uint32_t keyCode = 0;
        std::uint32_t modifiers = 0;
        HotkeyID identity;
        // Given when the turn's changes are bound.
        QString shortcutId;
    };

    void scheduleBind();
    void nameRegistrations();
    std::vector<Shortcut> desiredSet() const;
    void bindPending();
    void openSession();
    void bind(std::vector<Shortcut> shortcuts);
    void fail(const QString& message);

    QDBusConnection m_connection;
    std::chrono::milliseconds m_timeout = defaultTimeout;
    std::map<Reference, Registration> m_registrations;
    Reference m_nextReference = 1;
    // Names freed this turn, in the order their registrations went away.
    std::vector<QString> m_freedNames;
    PressHandler m_handler;
    FailureHandler m_onFailure;
    bool m_listening = false;
    bool m_bindScheduled = false;
    // A session being opened or a set being bound.
    bool m_busy = false;
    QString m_session;
    std::vector<Shortcut> m_bound;
    std::optional<QString> m_lastFailure;
};

} // namespace kelpie
