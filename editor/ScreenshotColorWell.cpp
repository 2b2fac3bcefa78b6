#include "editor/ScreenshotColorWell.h"

#include "editor/CoreAppearance.h"
#include "editor/WindowLevel.h"

#include <QColorDialog>
#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>

namespace kelpie {
namespace {

QPointer<QColorDialog> panel;
QPointer<ScreenshotColorWell> activeWell;

} // namespace

ScreenshotColorWell::ScreenshotColorWell(QWidget* parent) : QAbstractButton(parent)
{
    setFocusPolicy(Qt::TabFocus);
    CoreAppearance::followAppearance(this);
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (m_active)
            deactivate();
        else
            activate(true);
    });
}

ScreenshotColorWell::~ScreenshotColorWell()
{
    // A well that goes away must not leave the panel raised or bound to it.
    if (m_active || m_previousLevel)
        suspend();
}

QColorDialog* ScreenshotColorWell::sharedColorPanel()
{
    if (!panel) {
        panel = new QColorDialog;
        panel->setOptions(QColorDialog::NoButtons | QColorDialog::DontUseNativeDialog);
        panel->setWindowTitle(QStringLiteral("颜色"));
        panel->setAttribute(Qt::WA_DeleteOnClose, false);
        panel->setAttribute(Qt::WA_QuitOnClose, false);
        QObject::connect(panel, &QColorDialog::currentColorChanged, panel, [](const QColor& c) {
            if (activeWell)
                activeWell->panelColorChanged(c);
        });
        // Closing the panel by hand ends the activation of its well.
        QObject::connect(panel, &QDialog::finished, panel, [] {
            if (activeWell)
                activeWell->deactivate();
        });
    }
    return panel;
}

void ScreenshotColorWell::setColor(const QColor& color)
{
    if (m_color == color)
        return;
    m_color = color;
    update();
}

void ScreenshotColorWell::activate(bool exclusive)
{
    QColorDialog* colorPanel = sharedColorPanel();
    if (activeWell && activeWell != this && exclusive)
        activeWell->deactivate();
    m_active = true;
    activeWell = this;
    {
        const QSignalBlocker quiet(colorPanel);
        colorPanel->setCurrentColor(m_color);
    }
    colorPanel->show();
    colorPanel->raise();

    const QWidget* host = window();
    const int hostLevel = WindowLevel::of(host);
    if (host && (hostLevel >= WindowLevel::screenSaver || host->parentWidget())) {
        if (!m_previousLevel)
            m_previousLevel = WindowLevel::of(colorPanel);
        WindowLevel::set(colorPanel, hostLevel + 1);
        colorPanel->raise();
    }
    update();
}

void ScreenshotColorWell::deactivate()
{
    m_active = false;
    if (activeWell == this)
        activeWell = nullptr;
    const bool raised = m_previousLevel.has_value();
    restoreLevel();
    // A panel raised above a covering window had taken the keyboard from
    // it; once the panel is closed, the keyboard goes back.
    QWidget* host = window();
    const QColorDialog* colorPanel = panel.data();
    if (raised && colorPanel && host && !colorPanel->isVisible() && host->isVisible())
        host->activateWindow();
    update();
}

void ScreenshotColorWell::suspend()
{
    if (!m_active && !m_previousLevel)
        return;
    deactivate();
    restoreLevel();
    if (panel)
        panel->hide();
}

void ScreenshotColorWell::restoreLevel()
{
    if (!m_previousLevel)
        return;
    if (panel)
        WindowLevel::set(panel, *m_previousLevel);
    m_previousLevel.reset();
}

void ScreenshotColorWell::panelColorChanged(const QColor& color)
{
    if (!m_active)
        return;
    setColor(color);
    Q_EMIT colorChanged(color);
}

QSize ScreenshotColorWell::sizeHint() const { return {40, 26}; }

void ScreenshotColorWell::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const auto appearance = CoreAppearance::appearance(this);
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath bezel;
    bezel.addRoundedRect(bounds, 6, 6);
    painter.fillPath(bezel, CoreAppearance::windowBackground.resolved(appearance));
    painter.strokePath(bezel,
                       QPen(m_active ? CoreAppearance::accent.resolved(appearance)
                                     : CoreAppearance::separator.resolved(appearance),
                            m_active ? 2 : 1));
    QPainterPath swatch;
    swatch.addRoundedRect(bounds.adjusted(4, 4, -4, -4), 3, 3);
    painter.fillPath(swatch, m_color);
    if (!isEnabled())
        painter.fillPath(bezel, QColor(128, 128, 128, 110));
}

} // namespace kelpie
