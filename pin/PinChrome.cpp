#include "pin/PinChrome.h"

#include "editor/FloatingControls.h"
#include "pin/PinPanel.h"
#include "pin/PinSurface.h"
#include "pin/QtDelayScheduler.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <QWidget>

namespace kelpie {
namespace {

Rect rectOf(const QRect& r) { return Rect(r.x(), r.y(), r.width(), r.height()); }

// Desktop space (y up, origin at the primary screen's bottom-left) and Qt's
// logical geometry (y down) mirror each other about the primary screen's
// bottom edge.
Rect primaryLogical()
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    return screens.isEmpty() ? Rect(0, 0, 0, 0) : rectOf(screens.first()->geometry());
}

Rect toDesktop(const Rect& logical, const Rect& primary)
{
    return Rect(logical.minX() - primary.minX(), primary.maxY() - logical.maxY(), logical.width(),
                logical.height());
}

QRect toLogical(const Rect& desktop, const Rect& primary)
{
    return QRect(qRound(desktop.minX() + primary.minX()), qRound(primary.maxY() - desktop.maxY()),
                 qRound(desktop.width()), qRound(desktop.height()));
}

Size sizeOf(QSizeF size) { return Size{size.width(), size.height()}; }

} // namespace

PinChrome::PinChrome(QWidget* pinWindow, PinSurface* root, const std::vector<QWidget*>& primaryRows,
                     const std::vector<QWidget*>& secondaryRows,
                     std::shared_ptr<DelayScheduler> scheduler)
    : m_parent(pinWindow), m_root(root),
      m_scheduler(scheduler ? std::move(scheduler) : std::make_shared<QtDelayScheduler>()),
      m_state(std::make_unique<PinChromeState>(*m_scheduler))
{
    m_state->windows = [this] { return windows(); };
    m_state->onShow = [this](bool withSecondary) { show(withSecondary); };
    m_state->onHide = [this] { hide(); };

    m_primary = makePanel(primaryRows, true, PinChromeState::primarySurface, &m_primaryContent);
    PinPanel* secondary
        = makePanel(secondaryRows, false, PinChromeState::secondarySurface, &m_secondaryContent);
    // Its rows may hold text fields.
    secondary->setAcceptsKey(true);
    m_secondary = secondary;
    for (QWidget* row : primaryRows)
        m_primaryRows.emplace_back(row);
    for (QWidget* row : secondaryRows)
        m_secondaryRows.emplace_back(row);

    if (PinSurface* surface = m_root.data()) {
        surface->onHover = [this](bool inside) {
            m_state->hover(PinChromeState::pinSurface, inside);
        };
    }
    // Any window's key change, this process's included, may change the answer.
    m_observers.push_back(connect(qGuiApp, &QGuiApplication::focusWindowChanged, this,
                                  [this] { refreshVisibility(); }));
}

PinChrome::~PinChrome()
{
    close();
    // The rows belong to the pin's owner, which may still reach them while
    // it goes: they return to the pin window before the panels go.
    for (const auto* rows : {&m_primaryRows, &m_secondaryRows}) {
        for (const QPointer<QWidget>& row : *rows) {
            QWidget* widget = row.data();
            QWidget* parent = m_parent.data();
            if (widget && parent) {
                widget->hide();
                widget->setParent(parent);
            }
        }
    }
    delete m_primary.data();
    delete m_secondary.data();
}

PinPanel* PinChrome::makePanel(const std::vector<QWidget*>& rows, bool primary, int surfaceTag,
                               FloatingControls** content)
{
    auto* panel = new PinPanel(m_parent);
    *content = new FloatingControls(
        rows, primary ? FloatingControls::Kind::primaryToolbar : FloatingControls::Kind::panel,
        panel->surface());
    panel->surface()->onHover = [this, surfaceTag](bool inside) {
        m_state->hover(surfaceTag, inside);
    };
    return panel;
}

void PinChrome::setAuxiliaryActive(std::function<bool()> query)
{
    m_state->isAuxiliaryActive = std::move(query);
}

PinChromeState::Windows PinChrome::windows() const
{
    PinChromeState::Windows state;
    const QWidget* parent = m_parent.data();
    state.parentAlive = parent != nullptr;
    if (!parent)
        return state;
    state.parentVisible = parent->isVisible();
    const QWidget* active = QApplication::activeWindow();
    state.anyKey = active
        && (active == parent || active == m_primary.data() || active == m_secondary.data());
    return state;
}

bool PinChrome::secondaryHasVisibleRow() const
{
    for (const QPointer<QWidget>& row : m_secondaryRows) {
        const QWidget* widget = row.data();
        if (widget && !widget->isHidden())
            return true;
    }
    return false;
}

void PinChrome::layout(bool editing)
{
    // Read once: the windows may go away while the chrome lives on.
    QWidget* parent = m_parent.data();
    PinPanel* primary = m_primary.data();
    PinPanel* secondary = m_secondary.data();
    if (!parent || m_state->closed() || !primary || !secondary)
        return;
    QScreen* screen = parent->screen();
    if (!screen || QGuiApplication::screens().isEmpty())
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const Rect primaryScreen = primaryLogical();
    const Rect visible = toDesktop(rectOf(screen->availableGeometry()), primaryScreen);
    const Rect pin = toDesktop(rectOf(parent->geometry()), primaryScreen);
    const double maxWidth = PinChromePlacement::maximumPanelWidth(visible);

    const Size primarySize = sizeOf(m_primaryContent->panelSize(maxWidth));
    const bool hasSecondary = secondaryHasVisibleRow();
    m_state->setHasSecondary(hasSecondary);
    std::optional<Size> secondarySize;
    if (hasSecondary)
        secondarySize = sizeOf(m_secondaryContent->panelSize(maxWidth));

    const PinChromePlacement::Frames frames = PinChromePlacement::place(
        pin, visible, primarySize, secondarySize, editing, editingPlacement);
    primary->setGeometry(toLogical(frames.primary, primaryScreen));
    m_primaryContent->place(QRectF(primary->rect()));
    if (hasSecondary) {
        if (frames.secondary)
            secondary->setGeometry(toLogical(*frames.secondary, primaryScreen));
        m_secondaryContent->place(QRectF(secondary->rect()));
    }
    refreshVisibility();
}

void PinChrome::refreshVisibility() { m_state->refreshVisibility(); }

void PinChrome::show(bool withSecondary)
{
    for (PinPanel* panel : {m_primary.data(), withSecondary ? m_secondary.data() : nullptr}) {
        if (!panel)
            continue;
        if (!panel->isVisible())
            panel->show();
        panel->raise();
    }
    PinPanel* secondary = m_secondary.data();
    if (!withSecondary && secondary && secondary->isVisible())
        secondary->hide();
}

void PinChrome::hide()
{
    for (PinPanel* panel : {m_primary.data(), m_secondary.data()}) {
        if (panel && panel->isVisible())
            panel->hide();
    }
}

void PinChrome::close()
{
    if (m_state->closed())
        return;
    m_state->close();
    for (const QMetaObject::Connection& observer : m_observers)
        disconnect(observer);
    m_observers.clear();
    if (PinSurface* root = m_root.data())
        root->onHover = nullptr;
    for (PinPanel* panel : {m_primary.data(), m_secondary.data()}) {
        if (!panel)
            continue;
        panel->surface()->onHover = nullptr;
        panel->hide();
    }
}

} // namespace kelpie
