#pragma once

#include <QString>
#include <QStringList>

namespace kelpie {

// The application's alerts: application-modal, the application brought
// forward first. Behind an interface so tests can see what was said.
class AppAlerts {
public:
    virtual ~AppAlerts();
    // An alert with the single button "好".
    virtual void inform(const QString& message, const QString& informative) = 0;
    // An alert with `buttons` in order; the index of the one pressed, or -1
    // when the alert was dismissed otherwise.
    virtual int ask(const QString& message, const QString& informative, const QStringList& buttons)
        = 0;
};

// The alerts shown as message boxes.
class MessageBoxAlerts final : public AppAlerts {
public:
    void inform(const QString& message, const QString& informative) override;
    int ask(const QString& message, const QString& informative, const QStringList& buttons) override;
};

} // namespace kelpie
