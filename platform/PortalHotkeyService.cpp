#include "platform/PortalHotkeyService.h"

#include "platform/KeyCodeTable.h"
#include "platform/PortalRequest.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QTimer>

#include <algorithm>
#include <set>
#include <utility>

namespace kelpie {

// One entry of the set bound: an id and its properties, a(sa{sv}) on the bus.
struct PortalShortcutEntry {
    QString id;
    QVariantMap properties;
};

} // namespace kelpie

Q_DECLARE_METATYPE(kelpie::PortalShortcutEntry)

namespace kelpie {

namespace {

QString shortcutsInterface() { return QStringLiteral("org.freedesktop.portal.GlobalShortcuts"); }

// The session's token: the same in every run, so that the desktop can tell
// the application's earlier bindings.
QString sessionToken() { return QStringLiteral("kelpie_hotkeys"); }

const QString captureId = QStringLiteral("capture");
const QString pinId = QStringLiteral("pin");
const QString fallbackId = QStringLiteral("fallback-capture");

// The hot-key manager's fixed second capture key, Control+Option+S.
constexpr std::uint32_t fallbackKeyCode = 1;
constexpr std::uint32_t fallbackModifiers = HotkeyService::control | HotkeyService::option;

// The portal's property is read at start-up, before anything is shown.
constexpr int availabilityTimeout = 1000;

QString descriptionOf(const QString& id)
{
    if (id == captureId)
        return QStringLiteral("区域截图");
    if (id == pinId)
        return QStringLiteral("钉住剪贴板");
    if (id == fallbackId)
        return QStringLiteral("区域截图（备选截图键）");
    return QStringLiteral("Kelpie 快捷键");
}

// The order the desktop lists them in.
int rankOf(const QString& id)
{
    if (id == captureId)
        return 0;
    if (id == pinId)
        return 1;
    if (id == fallbackId)
        return 2;
    return 3;
}

QString refusedMessage()
{
    return QStringLiteral(
        "桌面未启用 Kelpie 的全局快捷键，可在系统键盘设置中为 kelpie --capture-now 绑定快捷键");
}

QString failedMessage()
{
    return QStringLiteral(
        "无法通过桌面设置全局快捷键，可在系统键盘设置中为 kelpie --capture-now 绑定快捷键");
}

} // namespace

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcutEntry& entry)
{
    argument.beginStructure();
    argument << entry.id << entry.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcutEntry& entry)
{
    argument.beginStructure();
    argument >> entry.id >> entry.properties;
    argument.endStructure();
    return argument;
}

PortalHotkeyService::PortalHotkeyService(QDBusConnection connection)
    : m_connection(std::move(connection))
{
    qDBusRegisterMetaType<PortalShortcutEntry>();
    qDBusRegisterMetaType<QList<PortalShortcutEntry>>();
}

PortalHotkeyService::~PortalHotkeyService() { removeHandler(); }

bool PortalHotkeyService::available(const QDBusConnection& connection)
{
    // The portal tells an application by its first call on a connection.
    PortalRequest::registerApplication(connection);
    QDBusMessage get = QDBusMessage::createMethodCall(
        PortalRequest::service(), PortalRequest::desktopPath(),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get.setArguments({shortcutsInterface(), QStringLiteral("version")});
    const QDBusMessage reply = connection.call(get, QDBus::Block, availabilityTimeout);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    bool isNumber = false;
    const uint version
        = qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant().toUInt(&isNumber);
    return isNumber && version >= 1;
}

QString PortalHotkeyService::preferredTrigger(std::uint32_t keyCode, std::uint32_t modifiers)
{
    const std::optional<std::string_view> key = KeyCodeTable::keysymName(keyCode);
    if (!key)
        return {};
    QStringList parts;
    if (modifiers & control)
        parts << QStringLiteral("CTRL");
    if (modifiers & option)
        parts << QStringLiteral("ALT");
    if (modifiers & shift)
        parts << QStringLiteral("SHIFT");
    if (modifiers & command)
        parts << QStringLiteral("LOGO");
    parts << QString::fromLatin1(key->data(), static_cast<qsizetype>(key->size()));
    return parts.join(QLatin1Char('+'));
}

void PortalHotkeyService::setFailureHandler(FailureHandler handler)
{
    m_onFailure = std::move(handler);
}

void PortalHotkeyService::setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }

bool PortalHotkeyService::installHandler(PressHandler handler)
{
    if (!m_connection.isConnected())
        return false;
    m_handler = std::move(handler);
    if (!m_listening) {
        m_listening = m_connection.connect(PortalRequest::service(), PortalRequest::desktopPath(),
                                           shortcutsInterface(), QStringLiteral("Activated"), this,
                                           SLOT(onActivated(QDBusMessage)));
    }
    return m_listening;
}

void PortalHotkeyService::removeHandler()
{
    if (m_listening) {
        m_connection.disconnect(PortalRequest::service(), PortalRequest::desktopPath(),
                                shortcutsInterface(), QStringLiteral("Activated"), this,
                                SLOT(onActivated(QDBusMessage)));
    }
    m_listening = false;
    m_handler = nullptr;
}

std::optional<HotkeyService::Reference> PortalHotkeyService::registerHotkey(std::uint32_t keyCode,
                                                                            std::uint32_t modifiers,
                                                                            HotkeyID identity)
{
    if (!m_connection.isConnected() || (modifiers & ~(command | shift | option | control)) != 0)
        return std::nullopt;
    const Reference reference = m_nextReference++;
    m_registrations[reference] = {keyCode, modifiers, identity, {}};
    scheduleBind();
    return reference;
}

void PortalHotkeyService::unregisterHotkey(Reference reference)
{
    const auto found = m_registrations.find(reference);
    if (found == m_registrations.end())
        return;
    if (!found->second.shortcutId.isEmpty())
        m_freedNames.push_back(found->second.shortcutId);
    m_registrations.erase(found);
    scheduleBind();
}

void PortalHotkeyService::scheduleBind()
{
    if (m_bindScheduled)
        return;
    m_bindScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_bindScheduled = false;
        bindPending();
    });
}

void PortalHotkeyService::nameRegistrations()
{
    std::set<QString> taken;
    for (const auto& [_, registration] : m_registrations) {
        if (!registration.shortcutId.isEmpty())
            taken.insert(registration.shortcutId);
    }
    auto freeName = [&taken](const QString& name) { return !taken.count(name); };
    for (auto& [reference, registration] : m_registrations) {
        if (!registration.shortcutId.isEmpty())
            continue;
        QString name;
        if (registration.keyCode == fallbackKeyCode && registration.modifiers == fallbackModifiers
            && freeName(fallbackId)) {
            name = fallbackId;
        }
        for (const QString& freed : m_freedNames) {
            if (name.isEmpty() && freed != fallbackId && freeName(freed))
                name = freed;
        }
        for (const QString& role : {captureId, pinId}) {
            if (name.isEmpty() && freeName(role))
                name = role;
        }
        if (name.isEmpty())
            name = QStringLiteral("shortcut-%1").arg(reference);
        registration.shortcutId = name;
        taken.insert(name);
    }
    m_freedNames.clear();
}

std::vector<PortalHotkeyService::Shortcut> PortalHotkeyService::desiredSet() const
{
    std::vector<Shortcut> set;
    for (const auto& [_, registration] : m_registrations) {
        set.push_back({registration.shortcutId, descriptionOf(registration.shortcutId),
                       preferredTrigger(registration.keyCode, registration.modifiers)});
    }
    std::ranges::sort(set, [](const Shortcut& a, const Shortcut& b) {
        const int rankA = rankOf(a.id);
        const int rankB = rankOf(b.id);
        return rankA != rankB ? rankA < rankB : a.id < b.id;
    });
    return set;
}

void PortalHotkeyService::bindPending()
{
    // Wait for the answer in flight; its end binds again.
    if (m_busy)
        return;
    nameRegistrations();
    std::vector<Shortcut> desired = desiredSet();
    // Nothing to bind while paused: presses of shortcuts no longer
    // registered are dropped, and the desktop keeps the bindings it has for
    // when the same set comes back.
    if (desired.empty() || (desired == m_bound && !m_session.isEmpty()))
        return;
    if (m_session.isEmpty()) {
        openSession();
        return;
    }
    bind(std::move(desired));
}

void PortalHotkeyService::openSession()
{
    m_busy = true;
    const QString token = sessionToken();
    QVariantMap options{{QStringLiteral("session_handle_token"), token}};
    PortalRequest::send(m_connection, shortcutsInterface(), QStringLiteral("CreateSession"), {},
                        std::move(options), m_timeout)
        .then(this, [this, token](const PortalRequest::Outcome& outcome) {
            m_busy = false;
            if (!outcome) {
                fail(outcome.error() == PortalRequest::Error::cancelled ? refusedMessage()
                                                                        : failedMessage());
                return;
            }
            // The portal names the session in its answer; one that does not
            // has put it where the token says.
            m_session = outcome.value().value(QStringLiteral("session_handle")).toString();
            if (m_session.isEmpty()) {
                m_session = PortalRequest::requestPath(m_connection, token)
                                .replace(QStringLiteral("/request/"), QStringLiteral("/session/"));
            }
            bindPending();
        });
}

void PortalHotkeyService::bind(std::vector<Shortcut> shortcuts)
{
    m_busy = true;
    QList<PortalShortcutEntry> entries;
    for (const Shortcut& shortcut : shortcuts) {
        QVariantMap properties{{QStringLiteral("description"), shortcut.description}};
        if (!shortcut.preferredTrigger.isEmpty())
            properties.insert(QStringLiteral("preferred_trigger"), shortcut.preferredTrigger);
        entries.append({shortcut.id, properties});
    }
    const QVariantList arguments{QVariant::fromValue(QDBusObjectPath(m_session)),
                                 QVariant::fromValue(entries), QString()};
    PortalRequest::send(m_connection, shortcutsInterface(), QStringLiteral("BindShortcuts"),
                        arguments, {}, m_timeout)
        .then(this,
              [this, shortcuts = std::move(shortcuts)](const PortalRequest::Outcome& outcome) {
                  m_busy = false;
                  if (!outcome) {
                      fail(outcome.error() == PortalRequest::Error::cancelled ? refusedMessage()
                                                                              : failedMessage());
                      return;
                  }
                  m_bound = shortcuts;
                  m_lastFailure.reset();
                  // Changes made while the desktop was asked.
                  bindPending();
              });
}

void PortalHotkeyService::fail(const QString& message)
{
    m_lastFailure = message;
    if (m_onFailure) {
        // Copied first: the handler may replace itself.
        const FailureHandler handler = m_onFailure;
        handler(message);
    }
}

void PortalHotkeyService::onActivated(const QDBusMessage& signal)
{
    // (session_handle o, shortcut_id s, timestamp t, options a{sv})
    const QVariantList arguments = signal.arguments();
    if (arguments.size() < 2)
        return;
    const QString session = qvariant_cast<QDBusObjectPath>(arguments.at(0)).path();
    const QString shortcutId = arguments.at(1).toString();
    // Another session of this application (an earlier run's, or another
    // service's) may be active on the same desktop.
    if (!m_handler || m_session.isEmpty() || session != m_session)
        return;
    for (const auto& [_, registration] : m_registrations) {
        if (registration.shortcutId == shortcutId) {
            const PressHandler handler = m_handler;
            handler(registration.identity);
            return;
        }
    }
}

} // namespace kelpie
