#include "app/AppController.h"

#include "annotation/AnnotationDocument.h"
#include "app/AppAlerts.h"
#include "app/AppTray.h"
#include "app/ClipboardTextImage.h"
#include "app/MenuKeyDispatcher.h"
#include "settings/ScratchPreferences.h"
#include "canvas/AnnotationCanvas.h"
#include "canvas/AnnotationWindow.h"
#include "capture/CaptureGeometry.h"
#include "editor/ImageClipboard.h"
#include "editor/ImageEncoding.h"
#include "editor/ImageWindow.h"
#include "editor/ScreenshotPresentation.h"
#include "overlay/SelectionView.h"
#include "overlay/SelectionWindow.h"
#include "overlay/SelectionWindowShelf.h"
#include "settings/AppPreferences.h"
#include "settings/SettingsWindow.h"
#include "settings/ShortcutRecorder.h"
#include "settings/ShortcutRecording.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFutureWatcher>
#include <QGuiApplication>
#include <QMimeData>
#include <QPainter>
#include <QProcess>
#include <QScopeGuard>
#include <QScreen>
#include <QTimer>
#include <QUrl>

#include <malloc.h>
#include <utility>

namespace kelpie {

namespace {

const QString windowFailure = QStringLiteral("窗口已关闭或无法捕获，请重新选择或拖动截图区域");
const QString retryText = QStringLiteral("截图仍然保留，请重试。");
// How long a closed overlay waits for the next capture: long enough for
// captures in quick succession, short enough that an idle Kelpie holds no
// screen-sized memory.
constexpr std::chrono::milliseconds overlayShelfLife{1000};

// The fixture drawn over a screen-sized picture in device pixels, as large
// as fits, centred on a neutral desk colour.
QImage fixtureBackground(const QImage& fixture, const QScreen* screen)
{
    const QSize pixels = (QSizeF(screen->geometry().size()) * screen->devicePixelRatio()).toSize();
    QImage background(pixels, QImage::Format_RGB32);
    background.fill(QColor(0x3a, 0x3f, 0x44));
    const QSize fitted = fixture.size().scaled(pixels, Qt::KeepAspectRatio)
                             .boundedTo(fixture.size());
    QPainter painter(&background);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRect(QPoint((pixels.width() - fitted.width()) / 2,
                                   (pixels.height() - fitted.height()) / 2),
                            fitted),
                      fixture);
    return background;
}

// Pixel-exact crop of `image`, or a null image when the rectangle does not
// lie inside it.
QImage cropOf(const QImage& image, const QRect& pixels)
{
    if (pixels.isEmpty() || !image.rect().contains(pixels))
        return {};
    return image.copy(pixels);
}

} // namespace

AppController::AppController(Services services, QStringList arguments)
    : m_options(std::move(arguments)),
      m_captureService(std::move(services.capture)),
      m_preferences(std::move(services.preferences)),
      m_alerts(std::move(services.alerts)),
      m_clipboard(std::move(services.clipboard)),
      m_pointer(std::move(services.pointer)),
      m_trayWanted(services.tray),
      m_globalShortcuts(services.globalShortcuts),
      m_desktopDecidesShortcuts(services.desktopDecidesShortcuts),
      m_makeTextRecognizer(std::move(services.textRecognizer)),
      m_hotkeys(std::move(services.hotkeys)),
      m_self(std::make_shared<AppController*>(this))
{
    m_overlayShelf = new SelectionWindowShelf(overlayShelfLife, this);
    m_trimAfterCapture = new QTimer(this);
    m_trimAfterCapture->setSingleShot(true);
    m_trimAfterCapture->setInterval(1000);
    connect(m_trimAfterCapture, &QTimer::timeout, this, &AppController::trimHeapIfIdle);
}

AppController::~AppController()
{
    terminate();
    m_self.reset();
}

std::optional<QString> AppController::argument(const QString& flag) const
{
    return m_options.argument(flag);
}

void AppController::launch()
{
    m_tray = std::make_unique<AppTray>(m_trayWanted, m_globalShortcuts);
    connect(m_tray.get(), &AppTray::captureRequested, this, &AppController::capture);
    connect(m_tray.get(), &AppTray::pinRequested, this, &AppController::pinClipboard);
    connect(m_tray.get(), &AppTray::settingsRequested, this, &AppController::openSettings);
    connect(m_tray.get(), &AppTray::quitRequested, this, &AppController::quit);
    // Installed before any window exists, so each window's own key handling
    // sees a press before the menu does.
    const Weak menuOwner = m_self;
    m_menuKeys = std::make_unique<MenuKeyDispatcher>(
        [menuOwner](MenuCommand command, QWidget* window) {
            AppController* controller = alive(menuOwner);
            return controller && controller->performMenuCommand(command, window);
        });

    const Weak self = m_self;
    m_hotkeys.onAction = [self](HotkeyManager::Action action) {
        if (AppController* controller = alive(self))
            controller->hotkeyAction(action);
    };
    updateHotkeyWarning(applyStoredShortcuts());

    if (m_options.captureNow(m_fixture.has_value()))
        capture();
    watchScreens();
    m_launched = true;
}

AppController::ReadyState AppController::readyState() const
{
    ReadyState state;
    state.statusButtonAttached = m_tray && m_tray->shown();
    state.registeredHotkeys = m_hotkeys.activeCount();
    if (const QAction* warning = m_tray ? m_tray->warningRow() : nullptr)
        state.hotkeyWarning = warning->text();
    // Ready once the menu exists and the hot keys either work or the menu
    // says why they do not.
    state.ready = m_launched && !m_terminated && m_tray
        && (state.registeredHotkeys > 0 || state.hotkeyWarning);
    return state;
}

std::optional<QString> AppController::applyStoredShortcuts()
{
    return applyShortcuts(m_preferences->captureShortcut(), m_preferences->pinShortcut());
}

std::optional<QString> AppController::applyShortcuts(const AppShortcut& capture,
                                                     const AppShortcut& pin)
{
    if (!m_globalShortcuts)
        return QStringLiteral("请在系统的键盘快捷键设置中添加命令 kelpie --capture-now");
    return m_hotkeys.apply(capture, pin);
}

void AppController::updateHotkeyWarning(const std::optional<QString>& message)
{
    if (m_tray)
        m_tray->setWarning(message);
}

void AppController::hotkeyAction(HotkeyManager::Action action)
{
    if (action == HotkeyManager::Action::capture)
        capture();
    else
        pinCurrentOrClipboard();
}

bool AppController::performMenuCommand(MenuCommand command, QWidget* window)
{
    switch (command) {
    case MenuCommand::openSettings: openSettings(); return true;
    case MenuCommand::quit: quit(); return true;
    default: break;
    }
    if (!window)
        return false;
    if (m_selectionWindow && window == m_selectionWindow)
        return performInOverlay(command);
    for (ImageWindow* open : openWindows()) {
        if (open->window() == window && !open->isClosed())
            return performInImageWindow(command, *open);
    }
    return false;
}

bool AppController::performInOverlay(MenuCommand command)
{
    SelectionView* view = m_selectionWindow->view();
    if (!view)
        return false;
    switch (command) {
    case MenuCommand::selectAll: view->selectAll(); return true;
    case MenuCommand::copy: view->copy(); return true;
    case MenuCommand::saveDocument: view->saveDocument(); return true;
    default: return false;
    }
}

bool AppController::performInImageWindow(MenuCommand command, ImageWindow& window)
{
    switch (command) {
    case MenuCommand::copy: window.copy(); return true;
    case MenuCommand::saveDocument: window.saveDocument(); return true;
    case MenuCommand::undo: window.undo(); return true;
    case MenuCommand::redo: window.redo(); return true;
    case MenuCommand::pinImage: window.pinImage(); return true;
    // Cut and paste have nothing to act on in an editor; select-all and
    // copy-all of the recognised text stay with the window's own keys.
    default: return false;
    }
}

void AppController::watchScreens()
{
    auto watch = [this](QScreen* screen) {
        connect(screen, &QScreen::geometryChanged, this, &AppController::screenChanged);
        connect(screen, &QScreen::physicalDotsPerInchChanged, this, &AppController::screenChanged);
    };
    for (QScreen* screen : QGuiApplication::screens())
        watch(screen);
    connect(qApp, &QGuiApplication::screenAdded, this, [this, watch](QScreen* screen) {
        watch(screen);
        screenChanged();
    });
    connect(qApp, &QGuiApplication::screenRemoved, this, &AppController::screenChanged);
    connect(qApp, &QGuiApplication::primaryScreenChanged, this, &AppController::screenChanged);
}

void AppController::cancelCapture()
{
    ++m_captureGeneration;
    // The frozen screen is only needed while its overlay is up.
    m_selectionImage = QImage();
    if (m_captureTask.isValid())
        m_captureTask.cancel();
    m_captureTask = {};
    closeOverlays(takeOverlays());
    dropPreparedOverlays();
    m_trimAfterCapture->start();
}

// Closed overlays go to the shelf, where the next capture finds them.
void AppController::closeOverlays(const std::vector<QPointer<SelectionWindow>>& overlays)
{
    for (const QPointer<SelectionWindow>& overlay : overlays) {
        if (SelectionWindow* window = overlay.data()) {
            disconnect(window, nullptr, this, nullptr);
            m_overlayShelf->put(window);
        }
    }
}

std::vector<QPointer<SelectionWindow>> AppController::takeOverlays()
{
    std::vector<QPointer<SelectionWindow>> taken = std::move(m_otherOverlays);
    m_otherOverlays.clear();
    if (m_selectionWindow)
        taken.emplace_back(m_selectionWindow);
    m_selectionWindow = nullptr;
    return taken;
}

void AppController::trimHeapIfIdle()
{
    // A capture's frozen screen, its overlay's backing store and the
    // window's buffers are large blocks freed at once; glibc keeps the pages
    // of a heap's top and of freed chunks until asked to return them.
    if (!m_selectionWindow && !m_captureTask.isValid())
        malloc_trim(0);
}

Rect AppController::desktopFrame(const QScreen* screen) const
{
    const QScreen* primary = QGuiApplication::primaryScreen();
    return SelectionWindow::desktopFrame(screen->geometry(),
                                         primary ? primary->geometry() : screen->geometry());
}

AppController* AppController::alive(const Weak& self)
{
    const std::shared_ptr<AppController*> held = self.lock();
    return held ? *held : nullptr;
}

std::vector<ImageWindow*> AppController::openWindows() const
{
    std::vector<ImageWindow*> open;
    for (const auto& [id, window] : m_imageWindows) {
        if (ImageWindow* alive = window.data())
            open.push_back(alive);
    }
    return open;
}

QScreen* AppController::screenUnderPointer() const
{
    const QPoint pointer = m_pointer ? m_pointer() : QCursor::pos();
    // A point on a screen's right or bottom edge belongs to the next screen.
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRect frame = screen->geometry();
        if (pointer.x() >= frame.left() && pointer.x() < frame.left() + frame.width()
            && pointer.y() >= frame.top() && pointer.y() < frame.top() + frame.height())
            return screen;
    }
    return QGuiApplication::primaryScreen();
}

bool AppController::screenMatches(std::uint32_t displayID, const Rect& frame) const
{
    for (QScreen* screen : QGuiApplication::screens()) {
        if (m_captureService->displayNumber(screen) == displayID && desktopFrame(screen) == frame)
            return true;
    }
    return false;
}

void AppController::capture()
{
    // An overlay still on screen stops answering at once but stays mapped
    // until the new image is in, so a compositor fading it out cannot leave
    // a trace of it in the frozen screen.
    auto retire = [this, previous = takeOverlays()] { closeOverlays(previous); };
    cancelCapture();
    QScreen* screen = screenUnderPointer();
    if (!screen || m_fixture || !m_captureService->hasAccess()) {
        retire();
        if (!screen)
            return;
        if (m_fixture)
            presentSelection(fixtureBackground(*m_fixture, screen), screen, {});
        else
            showPermissionGuide();
        return;
    }
    if (m_captureService->freezesEveryScreen())
        return captureEveryScreen(screen, std::move(retire));
    const std::int64_t generation = m_captureGeneration;
    QFuture<DisplayCapture::Outcome> task = DisplayCapture::capture(m_captureService, screen);
    prepareOverlay(screen);
    m_captureTask = QFuture<void>(task);
    auto* watcher = new QFutureWatcher<DisplayCapture::Outcome>(this);
    QPointer<QScreen> target(screen);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation, target, retire] {
        watcher->deleteLater();
        retire();
        const QFuture<DisplayCapture::Outcome> done = watcher->future();
        if (done.isCanceled() || generation != m_captureGeneration || done.resultCount() == 0)
            return;
        const auto unused = qScopeGuard([this] { dropPreparedOverlays(); });
        m_captureTask = {};
        const DisplayCapture::Outcome& outcome = done.result();
        // A screen that went away has made this capture stale already.
        if (!target)
            return;
        if (!outcome)
            return captureFailed(outcome.error());
        presentSelection(outcome.value().image, target, outcome.value().targets);
    });
    watcher->setFuture(task);
}

void AppController::captureFailed(CaptureError error)
{
    if (error == CaptureError::screenChanged)
        m_alerts->inform(QStringLiteral("屏幕已变化"), QStringLiteral("请重新开始截图。"));
    else
        m_alerts->inform(QStringLiteral("无法截取屏幕"), QStringLiteral("请检查屏幕录制权限后重试。"));
}

void AppController::captureEveryScreen(QScreen* pointerScreen, std::function<void()> retire)
{
    // Started together, so that a service reading the whole desktop at once
    // serves every screen from the one image.
    const std::int64_t generation = m_captureGeneration;
    QList<QFuture<DisplayCapture::Outcome>> tasks;
    std::vector<QPointer<QScreen>> screens;
    for (QScreen* screen : QGuiApplication::screens()) {
        tasks.append(DisplayCapture::capture(m_captureService, screen));
        screens.emplace_back(screen);
    }
    for (QScreen* screen : QGuiApplication::screens())
        prepareOverlay(screen);
    using Tasks = QList<QFuture<DisplayCapture::Outcome>>;
    QFuture<Tasks> all = QtFuture::whenAll(tasks.begin(), tasks.end());
    m_captureTask = QFuture<void>(all);
    auto* watcher = new QFutureWatcher<Tasks>(this);
    QPointer<QScreen> active(pointerScreen);
    connect(watcher, &QFutureWatcherBase::finished, this,
            [this, watcher, generation, screens, active, retire = std::move(retire)] {
        watcher->deleteLater();
        retire();
        const QFuture<Tasks> done = watcher->future();
        if (done.isCanceled() || generation != m_captureGeneration || done.resultCount() == 0)
            return;
        const auto unused = qScopeGuard([this] { dropPreparedOverlays(); });
        m_captureTask = {};
        const Tasks finished = done.result();
        std::vector<std::pair<QScreen*, QImage>> frozen;
        for (qsizetype index = 0; index < finished.size(); ++index) {
            QScreen* screen = screens[std::size_t(index)].data();
            const QFuture<DisplayCapture::Outcome>& task = finished[index];
            // A screen that went away has made this capture stale already.
            if (!screen || task.isCanceled() || task.resultCount() == 0)
                return;
            const DisplayCapture::Outcome& outcome = task.result();
            if (!outcome)
                return captureFailed(outcome.error());
            frozen.emplace_back(screen, outcome.value().image);
        }
        // The other screens first, so the pointer's screen comes up on top
        // with the keyboard.
        for (const auto& [screen, image] : frozen) {
            if (screen != active.data() || !active)
                m_otherOverlays.emplace_back(makeOverlay(image, screen, {}));
        }
        for (const QPointer<SelectionWindow>& overlay : m_otherOverlays)
            overlay->present();
        for (const auto& [screen, image] : frozen) {
            if (screen == active.data() && active)
                return presentSelection(image, screen, {});
        }
        // The pointer's screen went away: the first other screen leads.
        if (!m_otherOverlays.empty())
            activateOverlay(m_otherOverlays.front());
        Q_EMIT selectionPresented();
    });
    watcher->setFuture(all);
}

void AppController::activateOverlay(SelectionWindow* window)
{
    const auto found = std::find(m_otherOverlays.begin(), m_otherOverlays.end(), window);
    if (!window || found == m_otherOverlays.end())
        return;
    // The screen left behind keeps its frozen image but drops its region:
    // one selection at a time.
    SelectionWindow* previous = m_selectionWindow;
    if (previous) {
        if (SelectionView* view = previous->view())
            view->reset();
        *found = previous;
    } else {
        m_otherOverlays.erase(found);
    }
    QScreen* screen = window->screen();
    m_selectionFrame = desktopFrame(screen);
    m_selectionDisplay = m_captureService->displayNumber(screen);
    m_selectionImage = window->view()->model().image();
    m_selectionWindow = window;
    window->activateWindow();
    window->view()->setFocus(Qt::MouseFocusReason);
}

// Made after the capture has started: the screen is being read, and the
// window, not shown yet, is not in the picture.
void AppController::prepareOverlay(QScreen* screen)
{
    if (!screen)
        return;
    SelectionWindow* window = m_overlayShelf->take(screen);
    if (!window)
        window = new SelectionWindow(screen);
    window->prepare();
    m_preparedOverlays.emplace_back(window);
}

void AppController::dropPreparedOverlays()
{
    closeOverlays(std::exchange(m_preparedOverlays, {}));
}

// The window made ready for `screen` when it still fits the screen;
// windows for screens that changed meanwhile are closed.
SelectionWindow* AppController::takePreparedOverlay(QScreen* screen)
{
    SelectionWindow* found = nullptr;
    std::erase_if(m_preparedOverlays, [&](const QPointer<SelectionWindow>& prepared) {
        SelectionWindow* window = prepared.data();
        if (!window)
            return true;
        if (window->screen() != screen)
            return false;
        if (!found && window->geometry() == screen->geometry())
            found = window;
        else
            closeOverlays({prepared});
        return true;
    });
    return found;
}

SelectionWindow* AppController::makeOverlay(const QImage& image, QScreen* screen,
                                            const std::vector<WindowTarget>& targets)
{
    SelectionWindow* window = takePreparedOverlay(screen);
    if (window)
        window->setImage(image);
    else
        window = new SelectionWindow(image, screen);
    window->setWindowTitle(QStringLiteral("Kelpie · 框选"));
    SelectionView* view = window->view();
    view->model().windowTargets = targets;
    view->model().windowPicking = m_captureService->capturesWindows();
    view->model().automaticallyEdit = true;

    const Weak self = m_self;
    QPointer<SelectionWindow> weakWindow(window);
    QPointer<SelectionView> weakView(view);
    // The controller while this very overlay is still the current one.
    auto current = [self, weakWindow]() -> AppController* {
        AppController* controller = alive(self);
        const SelectionWindow* overlay = weakWindow.data();
        return controller && overlay && controller->m_selectionWindow == overlay ? controller
                                                                                : nullptr;
    };
    view->onConfirm = [current](const QImage& crop, const Rect& rect,
                                const SelectionAction& action) {
        if (AppController* controller = current())
            controller->confirm(crop, rect, action);
    };
    view->onWindowPick = [current, weakView](const WindowTarget& target) {
        AppController* controller = current();
        if (controller && weakView)
            controller->pickWindow(target);
    };
    view->onCancel = [current] {
        if (AppController* controller = current())
            controller->cancelCapture();
    };
    connect(window, &SelectionWindow::pointerEntered, this, [self, weakWindow] {
        if (AppController* controller = alive(self))
            controller->activateOverlay(weakWindow.data());
    });
    return window;
}

void AppController::presentSelection(const QImage& image, QScreen* screen,
                                     const std::vector<WindowTarget>& targets)
{
    m_selectionFrame = desktopFrame(screen);
    m_selectionDisplay = m_captureService->displayNumber(screen);
    m_selectionImage = image;
    SelectionWindow* window = makeOverlay(image, screen, targets);
    m_selectionWindow = window;
    window->present();
    Q_EMIT selectionPresented();
}

void AppController::confirm(const QImage& crop, const Rect& rect, const SelectionAction& action)
{
    const Rect region = rect.offsetBy(-m_selectionFrame.minX(), -m_selectionFrame.minY());
    const ScreenshotPresentation presentation{m_selectionImage, m_selectionFrame, region,
                                              m_selectionDisplay, true};
    cancelCapture();
    switch (action.kind()) {
    case SelectionAction::Kind::edit:
        openEditor(crop, presentation);
        break;
    case SelectionAction::Kind::annotate:
        if (ImageWindow* editor = openEditor(crop, presentation); editor && action.tool())
            editor->canvas()->model().chooseTool(*action.tool());
        break;
    case SelectionAction::Kind::save:
        if (ImageWindow* editor = openEditor(crop, presentation))
            editor->saveImage();
        break;
    case SelectionAction::Kind::pin:
        pinImage(crop);
        break;
    case SelectionAction::Kind::copy:
        copyCrop(crop, presentation);
        break;
    }
}

ImageWindow* AppController::openEditor(const QImage& crop,
                                       const ScreenshotPresentation& presentation)
{
    return showDocument(std::make_unique<AnnotationDocument>(crop), false, m_preferences,
                        presentation, std::nullopt);
}

void AppController::pinImage(const QImage& image)
{
    showDocument(std::make_unique<AnnotationDocument>(image), true, m_preferences,
                 std::nullopt, std::nullopt);
}

void AppController::copyCrop(const QImage& crop, const ScreenshotPresentation& presentation)
{
    const std::optional<QByteArray> png = ImageEncoding::data(crop, ImageType::png);
    if (!png) {
        openEditor(crop, presentation);
        m_alerts->inform(QStringLiteral("图片编码失败"), retryText);
        return;
    }
    if (!m_clipboard->writePng(*png)) {
        openEditor(crop, presentation);
        m_alerts->inform(QStringLiteral("复制失败"), retryText);
    }
}

void AppController::pickWindow(const WindowTarget& target)
{
    if (SelectionView* view = m_selectionWindow ? m_selectionWindow->view() : nullptr)
        view->showWindowStatus(QStringLiteral("正在捕获窗口…"));
    if (m_captureTask.isValid())
        m_captureTask.cancel();
    const std::int64_t generation = m_captureGeneration;
    QFuture<WindowCapture::Outcome> task
        = WindowCapture::captureSnapshot(m_captureService, target.id, target.ownerPID);
    m_captureTask = QFuture<void>(task);
    auto* watcher = new QFutureWatcher<WindowCapture::Outcome>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation] {
        watcher->deleteLater();
        const QFuture<WindowCapture::Outcome> done = watcher->future();
        if (done.isCanceled() || generation != m_captureGeneration || done.resultCount() == 0)
            return;
        windowCaptured(done.result(), generation);
    });
    watcher->setFuture(task);
}

void AppController::windowCaptured(const WindowCapture::Outcome& outcome, std::int64_t generation)
{
    if (!m_selectionWindow || generation != m_captureGeneration)
        return;
    auto fail = [this] {
        if (SelectionView* view = m_selectionWindow ? m_selectionWindow->view() : nullptr)
            view->showWindowStatus(windowFailure);
    };
    if (!outcome)
        return fail();
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.isEmpty())
        return fail();
    const double primaryTop = desktopFrame(screens.first()).maxY();
    std::optional<Rect> matched;
    for (QScreen* screen : screens) {
        if (m_captureService->displayNumber(screen) == m_selectionDisplay
            && desktopFrame(screen) == m_selectionFrame) {
            matched = desktopFrame(screen);
            break;
        }
    }
    if (!matched)
        return fail();
    const std::optional<Rect> region
        = WindowTarget::editorRect(outcome.value().quartzFrame, *matched, primaryTop);
    if (!region)
        return fail();
    const QImage image = outcome.value().image;
    // The editor sits where the window was, over the frozen screen the pick
    // was made on; the window's own image stretched over the whole screen
    // would not show what was around it.
    const QImage& frozen = m_selectionImage.isNull() ? image : m_selectionImage;
    const ScreenshotPresentation presentation{frozen, *matched, *region, m_selectionDisplay, false};
    cancelCapture();
    showDocument(std::make_unique<AnnotationDocument>(image), false, m_preferences,
                 presentation, std::nullopt);
}

ImageWindow* AppController::showDocument(std::unique_ptr<AnnotationDocument> document, bool pinned,
                                         std::shared_ptr<AppPreferences> preferences,
                                         std::optional<ScreenshotPresentation> screenshot,
                                         std::optional<Rect> pinFrame)
{
    const QUuid id = QUuid::createUuid();
    auto* window = new ImageWindow(std::move(document), pinned, preferences, screenshot, pinFrame,
                                   m_clipboard, nullptr, textRecognizer());
    const Weak self = m_self;
    QPointer<ImageWindow> weakWindow(window);
    window->onClose = [self, id, weakWindow] {
        AppController* controller = alive(self);
        if (controller)
            controller->m_imageWindows.erase(id);
        if (ImageWindow* closed = weakWindow.data())
            closed->deleteLater();
        // The last window's recogniser and pixels go with it; give their
        // pages back once it is gone.
        if (controller && controller->openWindows().empty())
            controller->m_trimAfterCapture->start();
    };
    window->onPin = [self, weakWindow](std::unique_ptr<AnnotationDocument> pinnedDocument) {
        AppController* controller = alive(self);
        if (!controller)
            return;
        const ImageWindow* editor = weakWindow.data();
        const std::optional<Rect> frame = editor ? editor->suggestedPinFrame() : std::nullopt;
        controller->showDocument(std::move(pinnedDocument), true, controller->m_preferences,
                                 std::nullopt, frame);
    };
    window->onReselect = [self, id, screenshot, preferences](const Rect& region) {
        AppController* controller = alive(self);
        return controller && screenshot
            && controller->reselect(id, *screenshot, preferences, region);
    };
    m_imageWindows[id] = window;
    Q_EMIT documentShown(window);
    return window;
}

std::shared_ptr<TextRecognizer> AppController::textRecognizer()
{
    // One recogniser for all open windows: its models load once for them.
    std::shared_ptr<TextRecognizer> shared = m_textRecognizer.lock();
    if (!shared && m_makeTextRecognizer) {
        shared = m_makeTextRecognizer();
        m_textRecognizer = shared;
    }
    return shared;
}

bool AppController::reselect(const QUuid& id, const ScreenshotPresentation& screenshot,
                             const std::shared_ptr<AppPreferences>& preferences, const Rect& region)
{
    const auto found = m_imageWindows.find(id);
    ImageWindow* window = found == m_imageWindows.end() ? nullptr : found->second.data();
    if (!window)
        return false;
    if (!screenshot.allowsAdjustment)
        return false;
    if (!window->document().state().objects.isEmpty()
        || window->canvas()->model().hasDraft())
        return false;
    if (!screenMatches(screenshot.displayID, screenshot.screenFrame))
        return false;
    const Size capture = screenshot.captureSize();
    const std::optional<Rect> pixels = CaptureGeometry::pixelRect(
        region, capture,
        Size{double(screenshot.background.width()), double(screenshot.background.height())});
    if (!pixels)
        return false;
    const QImage crop = cropOf(screenshot.background,
                               QRect(int(pixels->minX()), int(pixels->minY()),
                                     int(pixels->width()), int(pixels->height())));
    if (crop.isNull())
        return false;
    const ScreenshotPresentation next = screenshot.replacingRegion(region);
    window->close();
    showDocument(std::make_unique<AnnotationDocument>(crop), false, preferences, next,
                 std::nullopt);
    return true;
}

void AppController::pinCurrentOrClipboard()
{
    if (SelectionView* view = m_selectionWindow ? m_selectionWindow->view() : nullptr) {
        view->pinSelection();
        return;
    }
    for (ImageWindow* window : openWindows()) {
        const AnnotationWindow* shown = window->window();
        if (shown && shown->isActiveWindow()) {
            window->pinImage();
            return;
        }
    }
    pinClipboard();
}

void AppController::pinClipboard()
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (data) {
        for (const QString& type : {QStringLiteral("image/png"), QStringLiteral("image/tiff")}) {
            if (!data->hasFormat(type))
                continue;
            QImage image;
            if (image.loadFromData(data->data(type))) {
                pinImage(image);
                return;
            }
        }
        const QString text = data->hasText() ? data->text() : QString();
        if (!text.isEmpty()) {
            const QScreen* screen = screenUnderPointer();
            const QImage image = ClipboardTextImage::render(
                text, QApplication::palette(), screen ? screen->devicePixelRatio() : 1.0);
            if (!image.isNull())
                pinImage(image);
            return;
        }
    }
    m_alerts->inform(QStringLiteral("剪贴板中没有图片或文字"), QStringLiteral("先复制内容，再使用钉图。"));
}

void AppController::screenChanged()
{
    const bool overlayShown = m_selectionWindow != nullptr;
    cancelCapture();
    m_overlayShelf->clear();
    for (ImageWindow* window : openWindows())
        window->preserveScreenshotAfterScreenChange();
    if (overlayShown)
        m_alerts->inform(QStringLiteral("屏幕已变化"), QStringLiteral("请重新开始截图。"));
}

void AppController::openSettings()
{
    ++m_captureGeneration;
    if (m_captureTask.isValid())
        m_captureTask.cancel();
    m_captureTask = {};
    if (m_selectionWindow)
        m_selectionWindow->hide();
    for (const QPointer<SelectionWindow>& overlay : m_otherOverlays) {
        if (overlay)
            overlay->hide();
    }
    for (const auto& [id, entry] : m_imageWindows) {
        ImageWindow* window = entry.data();
        const AnnotationWindow* shown = window ? window->window() : nullptr;
        if (!shown || !window->isScreenshot() || !shown->isVisible())
            continue;
        if (std::find(m_editorsHiddenForSettings.begin(), m_editorsHiddenForSettings.end(), id)
            == m_editorsHiddenForSettings.end())
            m_editorsHiddenForSettings.push_back(id);
        window->suspendScreenshotForSettings();
    }
    if (!m_settings) {
        const Weak self = m_self;
        auto apply = [self](const AppShortcut& capture,
                            const AppShortcut& pin) -> std::optional<QString> {
            AppController* controller = alive(self);
            if (!controller)
                return QStringLiteral("应用已关闭");
            std::optional<QString> message = controller->applyShortcuts(capture, pin);
            controller->updateHotkeyWarning(message);
            return message;
        };
        auto recording = [self](bool started) -> std::optional<QString> {
            AppController* controller = alive(self);
            if (!controller)
                return QStringLiteral("应用已关闭");
            if (started) {
                controller->m_hotkeys.pause();
                return std::nullopt;
            }
            std::optional<QString> message = controller->applyStoredShortcuts();
            controller->updateHotkeyWarning(message);
            return message;
        };
        m_settings = std::make_unique<SettingsWindow>(m_preferences, apply, recording);
        if (m_desktopDecidesShortcuts) {
            for (ShortcutRecorder* recorder : {m_settings->captureRecorder(), m_settings->pinRecorder()})
                recorder->recording().openElsewhere = [self] {
                    if (AppController* controller = alive(self))
                        controller->openDesktopShortcutSettings();
                };
        }
        m_settings->onClose = [self] {
            if (AppController* controller = alive(self))
                controller->settingsClosed();
        };
    }
    m_settings->present();
}

void AppController::settingsClosed()
{
    for (const QUuid& id : m_editorsHiddenForSettings) {
        const auto found = m_imageWindows.find(id);
        ImageWindow* editor = found == m_imageWindows.end() ? nullptr : found->second.data();
        QWidget* window = editor ? editor->window() : nullptr;
        if (!window)
            continue;
        window->show();
        window->raise();
        window->activateWindow();
    }
    m_editorsHiddenForSettings.clear();
    for (const QPointer<SelectionWindow>& other : m_otherOverlays) {
        if (other)
            other->present();
    }
    if (SelectionWindow* overlay = m_selectionWindow) {
        overlay->present();
        if (SelectionView* view = overlay->view())
            view->setFocus();
    }
}

void AppController::quit()
{
    QCoreApplication::quit();
}

void AppController::terminate()
{
    if (m_terminated)
        return;
    m_terminated = true;
    cancelCapture();
    std::vector<QPointer<ImageWindow>> windows;
    for (ImageWindow* window : openWindows())
        windows.emplace_back(window);
    for (const QPointer<ImageWindow>& window : windows) {
        if (ImageWindow* open = window.data())
            open->close();
    }
    if (m_settings)
        m_settings->close();
    if (m_verificationSuite)
        ScratchPreferences::remove(*m_verificationSuite);
    m_hotkeys.shutdown();
    m_menuKeys.reset();
    disconnect(qApp, nullptr, this, nullptr);
}

void AppController::openDesktopShortcutSettings()
{
    // KDE Plasma's and GNOME's own pages for keyboard shortcuts.
    const std::pair<const char*, const char*> programs[]
        = {{"systemsettings", "kcm_keys"}, {"gnome-control-center", "keyboard"}};
    for (const auto& [program, page] : programs) {
        if (QProcess::startDetached(QString::fromLatin1(program), {QString::fromLatin1(page)}))
            return;
    }
    m_alerts->inform(QStringLiteral("无法打开快捷键设置"),
                     QStringLiteral("请在系统的键盘快捷键设置中添加命令 kelpie --capture-now。"));
}

void AppController::showPermissionGuide()
{
    const int answer = m_alerts->ask(
        QStringLiteral("需要屏幕录制权限"),
        QStringLiteral("请允许当前的 Kelpie 录制屏幕。授权后重新打开 Kelpie，再开始截图。"),
        {QStringLiteral("请求授权"), QStringLiteral("打开系统设置"), QStringLiteral("暂不")});
    if (answer == 0) {
        // The desktop's own prompt where it has one (a portal); X11 has
        // none, and its answer is whether reading is allowed now.
        auto* watcher = new QFutureWatcher<bool>(this);
        connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
            watcher->deleteLater();
            const QFuture<bool> done = watcher->future();
            if (done.resultCount() > 0 && done.result() && m_captureService->hasAccess())
                capture();
        });
        watcher->setFuture(m_captureService->requestAccess());
        return;
    }
    if (answer != 1)
        return;
    // The desktop's own settings, where the desktop has a settings program.
    for (const char* program : {"gnome-control-center", "systemsettings", "xfce4-settings-manager",
                                "mate-control-center", "lxqt-config"}) {
        if (QProcess::startDetached(QString::fromLatin1(program), {}))
            return;
    }
    m_alerts->inform(QStringLiteral("无法打开系统设置"),
                     QStringLiteral("请从苹果菜单打开系统设置，进入隐私与安全性。"));
}

} // namespace kelpie
