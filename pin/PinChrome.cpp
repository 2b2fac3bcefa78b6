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
    m_secondary
        = makePanel(secondaryRows, false, PinChromeState::secondarySurface, &m_secondaryContent);
    // Its rows may hold text fields.
    m_secondary->setAcceptsKey(true);
    for (QWidget* row : primaryRows)
        m_primaryRows.emplace_back(row);
    for (QWidget* row : secondaryRows)
        m_secondaryRows.emplace_back(row);

    if (m_root) {
        m_root->onHover = [this](bool inside) {
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
            if (row && m_parent) {
                row->hide();
                row->setParent(m_parent);
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
    state.parentAlive = !m_parent.isNull();
    if (!m_parent)
        return state;
    state.parentVisible = m_parent->isVisible();
    const QWidget* active = QApplication::activeWindow();
    state.anyKey = active
        && (active == m_parent.data() || active == m_primary.data()
            || active == m_secondary.data());
    return state;
}

bool PinChrome::secondaryHasVisibleRow() const
{
    for (const QPointer<QWidget>& row : m_secondaryRows) {
        if (row && !row->isHidden())
            return true;
    }
    return false;
}

void PinChrome::layout(bool editing)
{
    if (!m_parent || m_state->closed() || !m_primary || !m_secondary)
        return;
    QScreen* screen = m_parent->screen();
    if (!screen || QGuiApplication::screens().isEmpty())
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const Rect primaryScreen = primaryLogical();
    const Rect visible = toDesktop(rectOf(screen->availableGeometry()), primaryScreen);
    const Rect pin = toDesktop(rectOf(m_parent->geometry()), primaryScreen);
    const double maxWidth = PinChromePlacement::maximumPanelWidth(visible);

    const Size primarySize = sizeOf(m_primaryContent->panelSize(maxWidth));
    const bool hasSecondary = secondaryHasVisibleRow();
    m_state->setHasSecondary(hasSecondary);
    std::optional<Size> secondarySize;
    if (hasSecondary)
        secondarySize = sizeOf(m_secondaryContent->panelSize(maxWidth));

    const PinChromePlacement::Frames frames = PinChromePlacement::place(
        pin, visible, primarySize, secondarySize, editing, editingPlacement);
    m_primary->setGeometry(toLogical(frames.primary, primaryScreen));
    m_primaryContent->place(QRectF(m_primary->rect()));
    if (hasSecondary) {
        if (frames.secondary)
            m_secondary->setGeometry(toLogical(*frames.secondary, primaryScreen));
        m_secondaryContent->place(QRectF(m_secondary->rect()));
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
    if (!withSecondary && m_secondary && m_secondary->isVisible())
        m_secondary->hide();
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
    if (m_root)
        m_root->onHover = nullptr;
    for (PinPanel* panel : {m_primary.data(), m_secondary.data()}) {
        if (!panel)
            continue;
        panel->surface()->onHover = nullptr;
        panel->hide();
    }
}

} // namespace kelpie
