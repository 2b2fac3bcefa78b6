#pragma once

#include <QDBusConnection>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QVariantMap>

#include <memory>

namespace kelpie::test {

// A private session bus with tests/support/fake_portal.py on it: the
// desktop portal and permission store as the test tells them to answer.
// Each instance starts its own bus and fake, and stops both when it goes.
class FakePortal {
public:
    FakePortal();
    ~FakePortal();

    FakePortal(const FakePortal&) = delete;
    FakePortal& operator=(const FakePortal&) = delete;

    // Empty when the bus and the fake are up; else what went wrong.
    const QString& startError() const { return m_error; }

    // A connection of the code under test to the private bus.
    QDBusConnection connection() const;

    // The answer to the next call of `method` ("Screenshot", "CreateSession",
    // "BindShortcuts"): response `code` with `results`, sent "after" the call
    // returns, "before" it does, "never", or "elsewhere" (on a handle other
    // than the predicted one). Unanswered calls get 0 with no results.
    void answer(const QString& method, uint code, const QVariantMap& results = {},
                const QString& timing = QStringLiteral("after"));
    // "yes", "no", or empty for no entry.
    void setPermission(const QString& entry);
    void setRegistry(bool present);
    void setShortcutsVersion(uint version);
    void activate(const QString& session, const QString& shortcutId);

    // Every call received, in order: {"method", "sender", "args"}.
    QJsonArray calls() const;
    // The calls of one method.
    QJsonArray calls(const QString& method) const;

private:
    void control(const QString& method, const QVariantList& arguments) const;

    QProcess m_bus;
    QProcess m_portal;
    QString m_address;
    QString m_connectionName;
    QString m_error;
};

} // namespace kelpie::test
