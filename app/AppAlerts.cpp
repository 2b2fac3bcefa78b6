#include "app/AppAlerts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace kelpie {

AppAlerts::~AppAlerts() = default;

void MessageBoxAlerts::inform(const QString& message, const QString& informative)
{
    ask(message, informative, {QStringLiteral("好")});
}

int MessageBoxAlerts::ask(const QString& message, const QString& informative,
                          const QStringList& buttons)
{
    QMessageBox box;
    box.setWindowTitle(QStringLiteral("Kelpie"));
    box.setText(message);
    box.setInformativeText(informative);
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    QList<QPushButton*> made;
    for (int i = 0; i < buttons.size(); ++i)
        made.append(box.addButton(buttons[i], i == 0 ? QMessageBox::AcceptRole
                                                      : QMessageBox::RejectRole));
    box.setDefaultButton(made.value(0));
    QApplication::setActiveWindow(&box);
    box.activateWindow();
    box.exec();
    return static_cast<int>(made.indexOf(qobject_cast<QPushButton*>(box.clickedButton())));
}

} // namespace kelpie
