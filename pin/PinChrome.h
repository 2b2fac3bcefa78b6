#pragma once

#include "pin/PinChromePlacement.h"
#include "pin/PinChromeState.h"
#include "pin/PinPanel.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <vector>

class QWidget;

namespace kelpie {

class DelayScheduler;
class FloatingControls;
class PinSurface;

// The chrome of a pin: two panels carrying its rows, a primary panel (the
// tool bar; it never takes the keyboard) and a secondary one (options and
// status; it may take typing). They float next to the pin, move with it,
// and show only while the pin or a panel has the keyboard or the pointer
// is over one of them (PinChromeState decides; PinChromePlacement places).
//
// The owner lays the chrome out whenever the pin moves, resizes or changes
// mode, and closes it first thing when the pin closes. After close() no
// panel shows again.
class PinChrome final : public QObject {
    Q_OBJECT

public:
    // `pinWindow` is the pin's top-level window and `root` its content
    // surface, whose hover counts as the pin's. The rows are reparented into
    // the panels. Without a scheduler the hide runs on the Qt event loop.
    PinChrome(QWidget* pinWindow, PinSurface* root, const std::vector<QWidget*>& primaryRows,
              const std::vector<QWidget*>& secondaryRows,
              std::shared_ptr<DelayScheduler> scheduler = nullptr);
    ~PinChrome() override;

    PinChrome(const PinChrome&) = delete;
    PinChrome& operator=(const PinChrome&) = delete;

    // True while an auxiliary control (the colour dialog) is in use, which
    // keeps the chrome visible.
    void setAuxiliaryActive(std::function<bool()> query);
    // How the panels go while the pin is being edited; without it they are
    // placed as while viewing.
    PinChromePlacement::EditingRule editingPlacement;

    // Places the panels for viewing or editing and refreshes visibility.
    void layout(bool editing);
    void refreshVisibility();
    void close();

    PinPanel* primary() const { return m_primary; }
    PinPanel* secondary() const { return m_secondary; }
    FloatingControls* primaryContent() const { return m_primaryContent; }
    FloatingControls* secondaryContent() const { return m_secondaryContent; }
    const PinChromeState& state() const { return *m_state; }
    bool hasSecondary() const { return m_state->hasSecondary(); }

private:
    PinPanel* makePanel(const std::vector<QWidget*>& rows, bool primary, int surfaceTag,
                        FloatingControls** content);
    bool secondaryHasVisibleRow() const;
    PinChromeState::Windows windows() const;
    void show(bool withSecondary);
    void hide();

    QPointer<QWidget> m_parent;
    QPointer<PinSurface> m_root;
    std::shared_ptr<DelayScheduler> m_scheduler;
    std::unique_ptr<PinChromeState> m_state;
    QPointer<PinPanel> m_primary;
    QPointer<PinPanel> m_secondary;
    FloatingControls* m_primaryContent = nullptr;
    FloatingControls* m_secondaryContent = nullptr;
    std::vector<QPointer<QWidget>> m_primaryRows;
    std::vector<QPointer<QWidget>> m_secondaryRows;
    std::vector<QMetaObject::Connection> m_observers;
};

} // namespace kelpie
