#include "verification/SmokeVerification.h"

#include "annotation/AnnotationDocument.h"
#include "app/AppController.h"
#include "canvas/AnnotationCanvas.h"
#include "canvas/AnnotationWindow.h"
#include "canvas/CanvasModel.h"
#include "editor/ImageWindow.h"
#include "editor/ScreenshotView.h"
#include "overlay/SampledColor.h"
#include "overlay/SelectionView.h"
#include "overlay/SelectionWindow.h"
#include "platform/X11KeyHolder.h"
#include "settings/AppPreferences.h"
#include "settings/AppShortcut.h"
#include "settings/SettingsWindow.h"
#include "settings/ShortcutRecorder.h"
#include "verification/ImageChecks.h"
#include "verification/RoutineSteps.h"
#include "verification/SyntheticInput.h"
#include "verification/VerificationReport.h"

#include <QAction>
#include <QClipboard>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QWidget>

#include <set>

using namespace std::chrono_literals;

namespace kelpie {

using namespace ImageChecks;

namespace {

// A plain window of this process for the overlay's window picks.
class PickWindow final : public QWidget {
public:
    PickWindow() : QWidget(nullptr, Qt::FramelessWindowHint)
    {
        setWindowTitle(QStringLiteral("Kelpie · 窗口样本"));
        setAttribute(Qt::WA_ShowWithoutActivating);
        resize(220, 140);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter(this).fillRect(rect(), QColor(0x20, 0x80, 0xc0));
    }
};

QString clipboardText() { return QGuiApplication::clipboard()->text(); }

} // namespace

struct SmokeVerification::Run {
    AppController* controller = nullptr;
    QImage fixture;
    QString reportPath;
    std::function<void(bool)> done;
    VerificationReport report;
    RoutineSteps steps;
    std::unique_ptr<PickWindow> pickWindow;
    // The table keys of every editor and pin newest() has returned: keys,
    // because a closed window's address may come back for a new one.
    std::set<QUuid> seen;

    SelectionView* view() const
    {
        SelectionWindow* window = controller->selectionWindow();
        return window ? window->view() : nullptr;
    }
    // Points of the overlay per image pixel.
    double pointsPerPixel() const
    {
        const SelectionView* overlay = view();
        return overlay && overlay->image().width() > 0
            ? double(overlay->width()) / overlay->image().width()
            : 1.0;
    }
    // Points per pixel of the primary screen, where the overlays open.
    double pointsPerPixelAtPrimary() const
    {
        return 1 / QGuiApplication::primaryScreen()->devicePixelRatio();
    }
    std::vector<ImageWindow*> windows() const
    {
        std::vector<ImageWindow*> open;
        for (const auto& [_, window] : controller->imageWindows()) {
            if (ImageWindow* live = window.data(); live && !live->isClosed())
                open.push_back(live);
        }
        return open;
    }
    // The editor or pin that opened since the last call, if any.
    ImageWindow* newest()
    {
        ImageWindow* found = nullptr;
        for (const auto& [id, window] : controller->imageWindows()) {
            ImageWindow* live = window.data();
            if (live && !live->isClosed() && seen.insert(id).second)
                found = live;
        }
        return found;
    }

    // Makes the pick window the overlay's one window target and returns its
    // centre in the overlay.
    QPointF offerPickWindow(SelectionView& overlay) const
    {
        const QRect screen = overlay.window()->geometry();
        const QRect frame = pickWindow->geometry();
        // Screen-local points, y up from the bottom-left.
        const Rect rect(frame.x() - screen.x(),
                        screen.y() + screen.height() - frame.y() - frame.height(), frame.width(),
                        frame.height());
        overlay.model().windowTargets
            = {WindowTarget{std::uint32_t(pickWindow->winId()),
                            std::int32_t(QCoreApplication::applicationPid()), rect}};
        return QPointF(frame.center() - screen.topLeft());
    }

    void script();
    void openOverlay();
    void escapeLadder();
    void colourCopies();
    void dragCrop();
    void resizeRegion(ImageWindow& editor, const QImage& frozen, double scale);
    void drawArrowAndUndo(ImageWindow& editor);
    // Whether an editor or pin opened that newest() has not returned yet.
    bool newestPending() const
    {
        for (const auto& [id, window] : controller->imageWindows()) {
            const ImageWindow* live = window.data();
            if (live && !live->isClosed() && !seen.contains(id))
                return true;
        }
        return false;
    }
    void windowPicks();
    void editorsAndPins();
    void hotkeys();
    void settingsRecorder();
    void finish();
};

void SmokeVerification::run(AppController& controller, QImage fixture, QString reportPath,
                            std::function<void(bool)> done)
{
    auto state = std::make_unique<Run>();
    state->controller = &controller;
    state->fixture = std::move(fixture);
    state->reportPath = std::move(reportPath);
    auto* self = new SmokeVerification(std::move(state));
    Run& run = *self->m_run;
    run.done = [self, done = std::move(done)](bool succeeded) {
        self->deleteLater();
        if (done)
            done(succeeded);
    };
    run.script();
}

SmokeVerification::SmokeVerification(std::unique_ptr<Run> run) : m_run(std::move(run)) { }

SmokeVerification::~SmokeVerification() = default;

void SmokeVerification::Run::script()
{
    report.setFixtureOnly(true);
    steps.then([this] { escapeLadder(); })
        .then([this] { colourCopies(); })
        .then([this] { dragCrop(); })
        .then([this] { windowPicks(); })
        .then([this] { editorsAndPins(); })
        .then([this] { hotkeys(); })
        .then([this] { settingsRecorder(); });
    steps.start([this] { finish(); });
}

// A capture over the fixture, waited for until its overlay is drawn.
void SmokeVerification::Run::openOverlay()
{
    steps.then([this] { controller->capture(); })
        .waitUntil([this] { return exposed(controller->selectionWindow()); }, 5s,
                   [this](bool shown) {
                       if (!shown) {
                           report.check("overlay_opens", false);
                           steps.abort();
                       }
                   });
}

// Escape during a drag gives back the region from before the press; the
// next Escape clears it, the one after cancels the capture.
void SmokeVerification::Run::escapeLadder()
{
    openOverlay();
    steps.then([this] {
        SelectionView* overlay = view();
        if (!overlay)
            return;
        overlay->model().automaticallyEdit = false;
        SyntheticInput::drag(overlay, {80, 80}, {300, 240});
        const Rect before = overlay->model().selection();
        SyntheticInput::press(overlay, {500, 400});
        SyntheticInput::moveHeld(overlay, {600, 480});
        const bool moved = overlay->model().selection() != before;
        SyntheticInput::key(overlay, Qt::Key_Escape);
        SyntheticInput::release(overlay, {600, 480});
        report.check("escape_restores_drag",
                     moved && !before.isEmpty() && overlay->model().selection() == before);
        SyntheticInput::key(overlay, Qt::Key_Escape);
        const bool cleared = view() == overlay && overlay->model().selection().isEmpty();
        SyntheticInput::key(overlay, Qt::Key_Escape);
        steps.waitUntil([this] { return controller->selectionWindow() == nullptr; }, 2s,
                        [this, cleared](bool cancelled) {
                            report.check("escape_clears_then_cancels", cleared && cancelled);
                        });
    });
}

// C copies the colour under the pointer as hex, Shift+C as RGB.
void SmokeVerification::Run::colourCopies()
{
    openOverlay();
    steps.then([this] {
        SelectionView* overlay = view();
        if (!overlay)
            return;
        const QPointF at(overlay->width() / 2.0 + 3, overlay->height() / 2.0 + 5);
        const double scale = 1 / pointsPerPixel();
        const QColor expected
            = overlay->image().pixelColor(int(at.x() * scale), int(at.y() * scale));
        const SampledColor colour{std::uint8_t(expected.red()), std::uint8_t(expected.green()),
                                  std::uint8_t(expected.blue())};
        QGuiApplication::clipboard()->clear();
        SyntheticInput::hover(overlay, at);
        SyntheticInput::key(overlay, Qt::Key_C, Qt::NoModifier, QStringLiteral("c"));
        report.check("hex_key_clipboard", clipboardText() == colour.hex());
        SyntheticInput::key(overlay, Qt::Key_C, Qt::ShiftModifier, QStringLiteral("C"));
        report.check("rgb_key_clipboard", clipboardText() == colour.rgb());
        SyntheticInput::key(overlay, Qt::Key_Escape);
    });
}

// A drag with the controller's automatic editing opens an editor on exactly
// the pixels inside the border; an arrow drawn there with the pointer is one
// step that undo takes back and redo restores.
void SmokeVerification::Run::dragCrop()
{
    openOverlay();
    steps.then([this] {
        newest();
        SelectionView* overlay = view();
        if (!overlay)
            return;
        const QImage frozen = overlay->image();
        const double scale = 1 / pointsPerPixel();
        const QPoint from(120, 100);
        const QPoint to(420, 300);
        SyntheticInput::drag(overlay, from, to);
        const QRect pixels(QPoint(qRound(from.x() * scale), qRound(from.y() * scale)),
                           QPoint(qRound(to.x() * scale) - 1, qRound(to.y() * scale) - 1));
        const QImage expected = frozen.copy(pixels);
        steps.waitUntil([this] { return controller->selectionWindow() == nullptr; }, 3s)
            .then([this, expected, frozen, scale] {
                ImageWindow* editor = newest();
                report.check("selection_callback_crop",
                             editor && editor->isScreenshot()
                                 && samePixels(editor->document().baseImage(), expected));
                if (editor)
                    resizeRegion(*editor, frozen, scale);
            });
    });
}

// Dragging the crop's bottom-right corner in the screenshot editor re-crops
// it in place: the editor is replaced by one on the larger crop of the same
// frozen screen. An arrow drawn there with the pointer is one step that
// undo takes back and redo restores.
void SmokeVerification::Run::resizeRegion(ImageWindow& editor, const QImage& frozen, double scale)
{
    ScreenshotView* view = editor.screenshotView();
    if (!view) {
        report.check("resize_event_callback", false);
        return;
    }
    const Rect region = view->region();
    // The region is in screen points with y up; the view covers the screen.
    const QPointF corner(region.maxX(), view->height() - region.minY());
    const QPointF grown = corner + QPointF(40, 30);
    SyntheticInput::drag(view, corner - QPointF(0.5, 0.5), grown);
    const QRect pixels(
        QPoint(qRound(region.minX() * scale), qRound((view->height() - region.maxY()) * scale)),
        QSize(qRound((region.width() + 40) * scale), qRound((region.height() + 30) * scale)));
    const QImage expected = frozen.copy(pixels);
    steps.waitUntil(
        [this] { return newestPending(); }, 3s,
        [this, expected](bool replaced) {
            ImageWindow* recropped = replaced ? newest() : nullptr;
            report.check("resize_event_callback",
                         recropped && windows().size() == 1
                             && samePixels(recropped->document().baseImage(), expected));
            ImageWindow* target
                = recropped ? recropped : (windows().empty() ? nullptr : windows().front());
            if (target)
                drawArrowAndUndo(*target);
        });
}

void SmokeVerification::Run::drawArrowAndUndo(ImageWindow& editor)
{
    editor.canvas()->model().chooseTool(AnnotationTool::arrow);
    SyntheticInput::drag(editor.canvas(), {20, 20}, {160, 120});
    const auto count = [&editor] { return editor.document().state().objects.size(); };
    const bool drawn = count() == 1;
    // A second arrow, clear of the first, so that one undo has a step to
    // stop at: an undo that skips a step leaves nothing.
    SyntheticInput::drag(editor.canvas(), {150, 30}, {110, 50});
    const bool second = count() == 2;
    editor.undo();
    const bool undone = count() == 1;
    editor.redo();
    report.check("editor_arrow_drawn_with_pointer", drawn && second);
    report.check("editor_undo_redo_one_step", drawn && second && undone && count() == 2);
}

// Pressing over a window and letting go within 3 points picks it; moving
// further makes a region instead; Escape while a pick is being captured
// cancels it and nothing opens.
void SmokeVerification::Run::windowPicks()
{
    // A clean desktop: the editors so far would cover the window to pick.
    for (ImageWindow* window : windows())
        window->close();
    steps.waitUntil([this] { return controller->imageWindows().empty(); }, 3s);
    pickWindow = std::make_unique<PickWindow>();
    // On the screen the overlays open on: the one under the pointer.
    const QScreen* underPointer = QGuiApplication::screenAt(QCursor::pos());
    const QScreen* screen = underPointer ? underPointer : QGuiApplication::primaryScreen();
    pickWindow->move(screen->geometry().topLeft() + QPoint(520, 360));
    pickWindow->show();
    steps.waitUntil([this] { return exposed(pickWindow.get()); }, 5s);

    // Over a pickable window, a press that travels `travel` points.
    auto pressOverWindow = [this](QPointF travel) {
        openOverlay();
        steps.then([this, travel] {
            newest();
            SelectionView* overlay = view();
            if (!overlay)
                return;
            const QPointF centre = offerPickWindow(*overlay);
            SyntheticInput::hover(overlay, centre);
            SyntheticInput::press(overlay, centre);
            SyntheticInput::moveHeld(overlay, centre + travel);
            SyntheticInput::release(overlay, centre + travel);
        });
    };

    pressOverWindow({2, 2});
    steps.waitUntil([this] { return controller->selectionWindow() == nullptr; }, 10s)
        .waitUntil([this] { return newestPending(); }, 5s,
                   [this](bool opened) {
                       ImageWindow* editor = opened ? newest() : nullptr;
                       const double scale = pickWindow->devicePixelRatioF();
                       const QSize pixels = (QSizeF(pickWindow->size()) * scale).toSize();
                       const QImage& base = editor ? editor->document().baseImage() : QImage();
                       report.check("window_click_target",
                                    editor && base.size() == pixels
                                        && nearColour(base.pixelColor(pixels.width() / 2,
                                                                      pixels.height() / 2),
                                                      QColor(0x20, 0x80, 0xc0)));
                   });

    pressOverWindow({3, 3});
    steps.waitUntil([this] { return newestPending(); }, 5s,
                    [this](bool opened) {
                        ImageWindow* editor = opened ? newest() : nullptr;
                        const QSize base = editor ? editor->document().baseImage().size() : QSize();
                        const QSize region = (QSizeF(3, 3) / pointsPerPixelAtPrimary()).toSize();
                        report.check("window_drag_is_region", editor && base == region);
                    });

    openOverlay();
    steps.then([this] {
        newest();
        SelectionView* overlay = view();
        if (!overlay)
            return;
        SyntheticInput::click(overlay, offerPickWindow(*overlay));
        // The pick's capture is still running: Escape cancels the whole capture.
        SyntheticInput::key(overlay, Qt::Key_Escape);
    });
    steps.pause(1500ms).then([this] {
        report.check("cancel_window_pick",
                     controller->selectionWindow() == nullptr && !newestPending());
    });
}

// Two editors and a pin, which floats; its opacity from the menu
// changes the view only; copying closes the copied screenshot editor and
// nothing else; closed windows leave the controller's table.
void SmokeVerification::Run::editorsAndPins()
{
    openOverlay();
    steps.then([this] {
        newest();
        SelectionView* overlay = view();
        if (!overlay)
            return;
        overlay->model().automaticallyEdit = false;
        SyntheticInput::drag(overlay, {60, 60}, {260, 200});
        overlay->pinSelection();
    });
    steps.waitUntil([this] { return newestPending(); }, 5s,
                    [this](bool opened) {
                        ImageWindow* pin = opened ? newest() : nullptr;
                        if (!pin || !pin->isPinned()) {
                            report.check("two_windows_and_pin_level", false);
                            return;
                        }
                        int editors = 0;
                        for (ImageWindow* window : windows())
                            editors += window != pin && window->isScreenshot() ? 1 : 0;
                        QWidget* pinWindow = pin->canvas()->window();
                        report.check("two_windows_and_pin_level",
                                     editors >= 2 && pinWindow->isVisible()
                                         && (pinWindow->windowFlags() & Qt::WindowStaysOnTopHint));

                        const QImage before = pin->composite().value_or(QImage());
                        std::unique_ptr<QMenu> menu(pin->makeContextMenu());
                        QAction* half = nullptr;
                        for (QAction* item : menu ? menu->actions() : QList<QAction*>()) {
                            if (item->menu() && item->text() == QStringLiteral("透明度")) {
                                for (QAction* preset : item->menu()->actions()) {
                                    if (preset->text() == QStringLiteral("50%"))
                                        half = preset;
                                }
                            }
                        }
                        if (half)
                            half->trigger();
                        report.check(
                            "pin_opacity_menu_changes_view_only",
                            half && std::abs(pinWindow->windowOpacity() - 0.5) < 0.02
                                && samePixels(pin->composite().value_or(QImage()), before));

                        ImageWindow* editor = nullptr;
                        for (ImageWindow* window : windows()) {
                            if (window->isScreenshot())
                                editor = window;
                        }
                        const std::size_t open = windows().size();
                        QGuiApplication::clipboard()->clear();
                        // "完成": the image goes to the clipboard and this editor closes.
                        if (editor)
                            editor->completeScreenshot();
                        QPointer<ImageWindow> copied(editor);
                        QPointer<ImageWindow> kept(pin);
                        steps.waitUntil(
                            [copied] {
                                const ImageWindow* window = copied.data();
                                return !window || window->isClosed();
                            },
                            3s,
                            [this, copied, kept, open](bool closed) {
                                const QMimeData* data = QGuiApplication::clipboard()->mimeData();
                                const ImageWindow* pinNow = kept.data();
                                report.check("copy_closes_editor_only",
                                             closed && pinNow && !pinNow->isClosed()
                                                 && windows().size() == open - 1 && data
                                                 && data->hasFormat(QStringLiteral("image/png")));
                            });
                    });
    steps.then([this] {
        for (ImageWindow* window : windows())
            window->close();
    });
    steps.waitUntil([this] { return controller->imageWindows().empty(); }, 3s,
                    [this](bool removed) { report.check("closed_windows_removed", removed); });
}

// The alternative capture key may be the primary one; a key another client
// holds is refused and the keys that worked before keep working.
void SmokeVerification::Run::hotkeys()
{
    HotkeyManager& manager = controller->hotkeys();
    const std::optional<QString> asPrimary
        = manager.apply(AppShortcut::fallback(), AppShortcut::pin());
    report.check("hotkey_fallback_as_primary", !asPrimary && manager.activeCount() == 2);

    const std::optional<QString> restored
        = manager.apply(AppShortcut::capture(), AppShortcut::pin());
    std::set<std::pair<std::uint32_t, std::uint32_t>> before;
    for (const auto& [shortcut, _] : manager.bindings())
        before.insert({shortcut.keyCode, shortcut.modifiers});
    const AppShortcut f7{98, 0, QStringLiteral("F7")};
    const X11KeyHolder holder(f7.keyCode);
    const std::optional<QString> taken = manager.apply(AppShortcut::capture(), f7);
    std::set<std::pair<std::uint32_t, std::uint32_t>> after;
    for (const auto& [shortcut, _] : manager.bindings())
        after.insert({shortcut.keyCode, shortcut.modifiers});
    report.check("hotkey_conflict_keeps_old_bindings",
                 !restored && holder.holding()
                     && taken == QStringLiteral("快捷键可能已被占用，请换一个组合键")
                     && after == before && manager.activeCount() == 3);
}

// Recording a capture key in the settings window pauses the hot keys, and
// the recorded key is registered once recording ends.
void SmokeVerification::Run::settingsRecorder()
{
    controller->openSettings();
    steps.waitUntil(
        [this] { return exposed(controller->settings()); }, 5s,
        [this](bool shown) {
            SettingsWindow* settings = controller->settings();
            ShortcutRecorder* recorder = settings ? settings->captureRecorder() : nullptr;
            if (!shown || !recorder) {
                report.check("settings_recorder", false);
                return;
            }
            SyntheticInput::click(recorder,
                                  QPointF(recorder->width() / 2.0, recorder->height() / 2.0));
            const bool paused = controller->hotkeys().activeCount() == 0;
            // K, the X key code 45, with Ctrl and Shift.
            SyntheticInput::key(recorder, Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier,
                                QStringLiteral("K"), 45);
            bool recorded = false;
            for (const auto& [shortcut, _] : controller->hotkeys().bindings())
                recorded = recorded
                    || (shortcut.keyCode == 40
                        && shortcut.modifiers == (AppShortcut::control | AppShortcut::shift));
            report.check("settings_recorder",
                         paused && recorded && controller->hotkeys().activeCount() == 3);
            settings->resetShortcuts();
            settings->close();
        });
}

void SmokeVerification::Run::finish()
{
    for (ImageWindow* window : windows())
        window->close();
    pickWindow.reset();
    done(report.conclude(reportPath));
}

} // namespace kelpie
