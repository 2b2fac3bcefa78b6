// The capture flow from request to editor, against a fake capture service,
// fake hot keys, a fake clipboard and recorded alerts, with the real overlay
// and editor windows on the offscreen platform.

#include "app/AppController.h"

#include "annotation/AnnotationDocument.h"
#include "annotation/AnnotationObject.h"
#include "annotation/AnnotationStyle.h"
#include "app/AppAlerts.h"
#include "app/AppTray.h"
#include "app/ClipboardTextImage.h"
#include "app/MainMenuKeys.h"
#include "settings/ScratchPreferences.h"
#include "canvas/AnnotationCanvas.h"
#include "canvas/AnnotationWindow.h"
#include "editor/ImageClipboard.h"
#include "editor/ImageWindow.h"
#include "overlay/SelectionView.h"
#include "overlay/SelectionWindow.h"
#include "settings/AppPreferences.h"
#include "settings/PreferencesStore.h"
#include "settings/SettingsWindow.h"
#include "settings/ShortcutRecorder.h"
#include "settings/ShortcutRecording.h"
#include "text/TextRecognizer.h"

#include "../capture/FakeCaptureService.h"
#include "editor/ScreenshotView.h"
#include "../settings/FakeHotkeyService.h"
#include "tests/support/EventLoopWait.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QClipboard>
#include <QEnterEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kelpie;
using kelpie::testing::FakeCaptureService;

namespace {

constexpr std::uint32_t display = 7;

struct RecordedAlerts : AppAlerts {
    void inform(const QString& message, const QString& informative) override
    {
        shown.append(message + QStringLiteral(" / ") + informative);
    }
    int ask(const QString& message, const QString&, const QStringList&) override
    {
        shown.append(message);
        return answer;
    }
    QStringList shown;
    int answer = 2;
};

struct FakeClipboard : ImageClipboard {
    Status<ClipboardError> writePng(const QByteArray& png) override
    {
        if (refuse)
            return ClipboardError::refused;
        pngs.append(png);
        return Done{};
    }
    Status<ClipboardError> writeText(const QString& text) override
    {
        if (refuse)
            return ClipboardError::refused;
        texts.append(text);
        return Done{};
    }
    bool refuse = false;
    QList<QByteArray> pngs;
    QStringList texts;
};

// A frozen screen: one pixel per point of the offscreen screen.
QImage filled(QColor color)
{
    QImage image(QGuiApplication::primaryScreen()->geometry().size(), QImage::Format_RGB32);
    image.fill(color);
    return image;
}

ShareableContent::Window listedWindow(std::uint32_t id)
{
    ShareableContent::Window window;
    window.windowID = id;
    window.onScreen = true;
    window.ownerPID = 100;
    window.nativeFrame = Rect(100, 100, 300, 200);
    return window;
}

class AppControllerTest : public ::testing::Test {
protected:
    void SetUp() override { launch(true); }

    // A controller over fresh fakes; `globalShortcuts` false stands for a
    // desktop where only its own keyboard settings bind keys.
    void launch(bool globalShortcuts, bool desktopDecidesShortcuts = false)
    {
        ASSERT_TRUE(folder.isValid());
        const QScreen* screen = QGuiApplication::primaryScreen();
        ASSERT_NE(screen, nullptr);
        const QRect frame = screen->geometry();
        capture->number = display;
        capture->currentScreens = {{display, Rect(0, 0, frame.width(), frame.height())}};
        content.displays = {{display, Rect(0, 0, frame.width(), frame.height()), 1,
                             Rect(0, 0, frame.width(), frame.height())}};
        content.windows = {listedWindow(11)};
        capture->contentAnswer = content;

        auto hotkeyService = std::make_unique<kelpie::test::FakeService>();
        hotkeys = hotkeyService.get();
        AppController::Services services;
        services.capture = capture;
        services.hotkeys = std::move(hotkeyService);
        services.preferences = std::make_shared<AppPreferences>(
            std::make_shared<PreferencesStore>(folder.filePath(QStringLiteral("preferences.json"))));
        services.alerts = alerts;
        services.clipboard = clipboard;
        services.pointer = [frame] { return frame.center(); };
        services.tray = false;
        services.globalShortcuts = globalShortcuts;
        services.desktopDecidesShortcuts = desktopDecidesShortcuts;
        controller = std::make_unique<AppController>(std::move(services), QStringList{QStringLiteral("kelpie")});
        controller->launch();
    }

    void TearDown() override
    {
        controller.reset();
        settle();
    }

    static void settle()
    {
        for (int round = 0; round < 50; ++round)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
    }

    // Starts a capture and answers it with `image`; the overlay, if shown.
    SelectionView* captureShowing(const QImage& image)
    {
        capture->imageAnswer = image;
        controller->capture();
        settle();
        capture->imageAnswer.reset();
        return controller->selectionWindow() ? controller->selectionWindow()->view() : nullptr;
    }

    std::vector<ImageWindow*> windows() const
    {
        std::vector<ImageWindow*> open;
        for (const auto& [id, window] : controller->imageWindows()) {
            if (window)
                open.push_back(window);
        }
        return open;
    }

    QTemporaryDir folder;
    std::shared_ptr<FakeCaptureService> capture = std::make_shared<FakeCaptureService>();
    std::shared_ptr<RecordedAlerts> alerts = std::make_shared<RecordedAlerts>();
    std::shared_ptr<FakeClipboard> clipboard = std::make_shared<FakeClipboard>();
    kelpie::test::FakeService* hotkeys = nullptr;
    ShareableContent content;
    std::unique_ptr<AppController> controller;
};

TEST_F(AppControllerTest, TwoQuickCapturesShowOnlyTheSecondSnapshotOnce)
{
    int presented = 0;
    QObject::connect(controller.get(), &AppController::selectionPresented, [&] { ++presented; });
    controller->capture();
    settle();
    controller->capture();
    settle();
    const QImage first = filled(Qt::red);
    const QImage second = filled(Qt::blue);
    ASSERT_FALSE(capture->displayRequests.empty());
    // Answer every request, the first (stale) one with the red image.
    for (std::size_t i = 0; i < capture->displayRequests.size(); ++i)
        capture->displayRequests[i].answer(i + 1 == capture->displayRequests.size() ? second
                                                                                     : first);
    settle();

    EXPECT_EQ(presented, 1);
    ASSERT_NE(controller->selectionWindow(), nullptr);
    EXPECT_EQ(controller->selectionWindow()->view()->image().cacheKey(), second.cacheKey());
    EXPECT_TRUE(alerts->shown.isEmpty());
}

// The overlay's window is made while the screen is read, and it is the one
// shown; a superseded, failed or cancelled capture leaves no window behind.
TEST_F(AppControllerTest, TheOverlayIsMadeWhileTheScreenIsReadAndKeptOnlyBriefly)
{
    const auto overlays = [] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        std::vector<SelectionWindow*> found;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* window = qobject_cast<SelectionWindow*>(widget))
                found.push_back(window);
        }
        return found;
    };
    controller->capture();
    settle();
    controller->capture(); // supersedes the first
    settle();
    const std::vector<SelectionWindow*> ready = overlays();
    ASSERT_EQ(ready.size(), 1u);
    EXPECT_FALSE(ready.front()->isVisible());
    EXPECT_EQ(ready.front()->view(), nullptr) << "no picture yet";

    ASSERT_EQ(capture->displayRequests.size(), 2u);
    capture->displayRequests.back().answer(filled(Qt::blue));
    capture->displayRequests.front().answer(filled(Qt::red)); // stale: dropped
    settle();
    EXPECT_EQ(controller->selectionWindow(), ready.front());
    EXPECT_EQ(overlays().size(), 1u);
    EXPECT_TRUE(ready.front()->isVisible());
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(ready.front()->view(), &escape);
    settle();
    EXPECT_EQ(controller->selectionWindow(), nullptr);
    // Hidden and without its picture, kept a moment for the next capture,
    // which takes that very window.
    ASSERT_EQ(overlays(), ready);
    EXPECT_FALSE(ready.front()->isVisible());
    EXPECT_EQ(ready.front()->view(), nullptr);

    controller->capture();
    settle();
    EXPECT_EQ(overlays(), ready);
    capture->displayRequests.back().answer(CaptureService::Result<QImage>(CaptureError::system, "gone"));
    settle();
    EXPECT_EQ(alerts->shown.size(), 1);
    EXPECT_FALSE(ready.front()->isVisible());
    // Then nothing of the capture stays.
    EXPECT_TRUE(test::waitFor([&] { return overlays().empty(); }));
}

TEST_F(AppControllerTest, CaptureFailuresAlertUnlessStale)
{
    capture->imageAnswer = CaptureService::Result<QImage>(CaptureError::system, "gone");
    controller->capture();
    settle();
    EXPECT_EQ(alerts->shown, QStringList{QStringLiteral("无法截取屏幕 / 请检查屏幕录制权限后重试。")});
    EXPECT_EQ(controller->selectionWindow(), nullptr);

    alerts->shown.clear();
    capture->imageAnswer.reset();
    controller->capture();
    settle();
    controller->openSettings(); // makes the running capture stale
    for (auto& request : capture->displayRequests)
        if (!request.promise->future().isFinished())
            request.answer(CaptureService::Result<QImage>(CaptureError::system, "late"));
    settle();
    EXPECT_TRUE(alerts->shown.isEmpty()) << "a superseded failure is dropped silently";
    if (controller->settings())
        controller->settings()->close();
}

TEST_F(AppControllerTest, AFailedWindowPickKeepsTheOverlayWithTheFailureText)
{
    SelectionView* view = captureShowing(filled(Qt::gray));
    ASSERT_NE(view, nullptr);
    capture->imageAnswer = CaptureService::Result<QImage>(CaptureError::missing);
    view->onWindowPick(WindowTarget{11, 100, Rect(100, 100, 300, 200)});
    settle();

    ASSERT_NE(controller->selectionWindow(), nullptr) << "the overlay stays open";
    EXPECT_EQ(view->model().windowStatus(),
              QStringLiteral("窗口已关闭或无法捕获，请重新选择或拖动截图区域"));
    EXPECT_TRUE(windows().empty());
}

TEST_F(AppControllerTest, APickedWindowOpensWhereItWasOverTheFrozenScreen)
{
    const QImage frozen = filled(Qt::darkGreen);
    SelectionView* view = captureShowing(frozen);
    ASSERT_NE(view, nullptr);
    const QImage windowImage = filled(Qt::yellow).copy(0, 0, 300, 200);
    capture->imageAnswer = CaptureService::Result<QImage>(windowImage);
    view->onWindowPick(WindowTarget{11, 100, Rect(100, 100, 300, 200)});
    settle();

    const auto open = windows();
    ASSERT_EQ(open.size(), 1u);
    ASSERT_NE(open.front()->screenshotView(), nullptr);
    EXPECT_EQ(open.front()->document().baseImage(), windowImage.convertToFormat(
                                                        open.front()->document().baseImage().format()));
    // Behind the window: the screen as it was frozen, not the window's
    // own picture stretched over it.
    EXPECT_EQ(open.front()->screenshotView()->presentation().background.size(), frozen.size());
    EXPECT_EQ(open.front()->screenshotView()->presentation().background.pixelColor(5, 5),
              QColor(Qt::darkGreen));
}

TEST_F(AppControllerTest, ARegionConfirmedDuringAWindowPickOpensOnlyTheRegionEditor)
{
    SelectionView* view = captureShowing(filled(Qt::gray));
    ASSERT_NE(view, nullptr);
    view->onWindowPick(WindowTarget{11, 100, Rect(100, 100, 300, 200)});
    settle();
    EXPECT_EQ(view->model().windowStatus(), QStringLiteral("正在捕获窗口…"));
    view->selectRegion(Rect(10, 10, 200, 100));
    view->confirm();
    settle();
    for (auto& request : capture->windowRequests)
        if (!request.promise->future().isFinished())
            request.answer(QImage(300, 200, QImage::Format_RGB32));
    settle();

    const auto open = windows();
    ASSERT_EQ(open.size(), 1u);
    EXPECT_TRUE(open.front()->isScreenshot());
    EXPECT_EQ(open.front()->document().baseImage().size(), QSize(200, 100));
}

TEST_F(AppControllerTest, CopyFromTheOverlayWritesPngAndOpensNothingUnlessRefused)
{
    SelectionView* view = captureShowing(filled(Qt::darkCyan));
    ASSERT_NE(view, nullptr);
    view->selectRegion(Rect(0, 0, 120, 80));
    view->copy();
    settle();
    ASSERT_EQ(clipboard->pngs.size(), 1);
    EXPECT_EQ(QImage::fromData(clipboard->pngs.front()).size(), QSize(120, 80));
    EXPECT_TRUE(windows().empty());
    EXPECT_EQ(controller->selectionWindow(), nullptr);

    clipboard->refuse = true;
    view = captureShowing(filled(Qt::darkCyan));
    ASSERT_NE(view, nullptr);
    view->selectRegion(Rect(0, 0, 120, 80));
    view->copy();
    settle();
    EXPECT_EQ(windows().size(), 1u) << "the crop is kept in an editor";
    EXPECT_EQ(alerts->shown, QStringList{QStringLiteral("复制失败 / 截图仍然保留，请重试。")});
}

TEST_F(AppControllerTest, ThePinKeyPinsTheOverlayThenTheClipboardThenSaysThereIsNothing)
{
    SelectionView* view = captureShowing(filled(Qt::darkGreen));
    ASSERT_NE(view, nullptr);
    view->selectRegion(Rect(20, 20, 100, 50));
    controller->pinCurrentOrClipboard();
    settle();
    auto open = windows();
    ASSERT_EQ(open.size(), 1u);
    EXPECT_TRUE(open.front()->isPinned());
    EXPECT_EQ(open.front()->document().baseImage().size(), QSize(100, 50));
    EXPECT_EQ(controller->selectionWindow(), nullptr);
    open.front()->close();
    settle();

    QGuiApplication::clipboard()->setText(QStringLiteral("abc"));
    controller->pinCurrentOrClipboard();
    settle();
    open = windows();
    ASSERT_EQ(open.size(), 1u);
    const QImage pinned = open.front()->document().baseImage();
    const double ratio = pinned.devicePixelRatio();
    EXPECT_GE(pinned.width() / ratio, 180);
    EXPECT_GE(pinned.height() / ratio, 80);
    open.front()->close();
    settle();

    QGuiApplication::clipboard()->clear();
    controller->pinCurrentOrClipboard();
    settle();
    EXPECT_TRUE(windows().empty());
    EXPECT_EQ(alerts->shown, QStringList{QStringLiteral("剪贴板中没有图片或文字 / 先复制内容，再使用钉图。")});
}

TEST_F(AppControllerTest, ClipboardTextPicturesStayWithinTheirBounds)
{
    EXPECT_EQ(ClipboardTextImage::sizeFor({0, 0}), QSize(180, 80));
    EXPECT_EQ(ClipboardTextImage::sizeFor({300.2, 60}), QSize(341, 100));
    EXPECT_EQ(ClipboardTextImage::sizeFor({650, 9000}), QSize(690, 4040));
    EXPECT_EQ(ClipboardTextImage::sizeFor({9000, 10}), QSize(700, 80));
    const QImage wrapped
        = ClipboardTextImage::render(QString(400, QLatin1Char('x')), QGuiApplication::palette(), 1);
    EXPECT_LE(wrapped.width(), 700);
    EXPECT_GT(wrapped.height(), 80) << "a long line wraps instead of growing wider";
    EXPECT_TRUE(ClipboardTextImage::render(QString(), QGuiApplication::palette(), 1).isNull());
}

// The ink of a picture in its tight box, resampled to 24 × 24 so that
// pictures of one character drawn apart compare pixel by pixel.
QImage inkOf(const QImage& picture)
{
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    QRect box;
    for (int y = 0; y < grey.height(); ++y) {
        for (int x = 0; x < grey.width(); ++x) {
            if (grey.constScanLine(y)[x] < 128)
                box = box.united(QRect(x, y, 1, 1));
        }
    }
    return grey.copy(box).scaled(24, 24, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

int difference(const QImage& a, const QImage& b)
{
    int sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x)
            sum += std::abs(a.constScanLine(y)[x] - b.constScanLine(y)[x]);
    }
    return sum;
}

// Clipboard text is drawn in the simplified Chinese forms Kelpie's own
// text has, not in the Japanese ones the font system falls back to (骨
// differs inside).
TEST_F(AppControllerTest, ClipboardTextIsDrawnInSimplifiedChineseForms)
{
    QPalette palette = QGuiApplication::palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, Qt::black);
    const QString bone = QString::fromUtf8("骨");
    const QImage pinned = inkOf(ClipboardTextImage::render(bone, palette, 1));
    const auto drawnIn = [&bone](const char* family) {
        QImage image(120, 120, QImage::Format_Grayscale8);
        image.fill(255);
        QPainter painter(&image);
        QFont font(QString::fromLatin1(family));
        font.setPointSizeF(ClipboardTextImage::fontSize);
        painter.setFont(font);
        painter.drawText(image.rect(), Qt::AlignCenter, bone);
        painter.end();
        return inkOf(image);
    };
    EXPECT_LT(difference(pinned, drawnIn("Noto Sans CJK SC")),
              difference(pinned, drawnIn("Noto Sans CJK JP")));
}

TEST_F(AppControllerTest, ReCropIsReplacedInPlaceOnlyWhileNothingWasDrawnAndTheScreenIsTheSame)
{
    SelectionView* view = captureShowing(filled(Qt::darkYellow));
    ASSERT_NE(view, nullptr);
    view->selectRegion(Rect(10, 10, 200, 100));
    view->confirm();
    settle();
    auto open = windows();
    ASSERT_EQ(open.size(), 1u);
    ImageWindow* first = open.front();
    ASSERT_TRUE(first->onReselect);
    EXPECT_TRUE(first->onReselect(Rect(20, 20, 300, 150)));
    settle();
    open = windows();
    ASSERT_EQ(open.size(), 1u);
    ImageWindow* second = open.front();
    EXPECT_NE(second, first);
    EXPECT_EQ(second->document().baseImage().size(), QSize(300, 150));

    // Once the display arrangement changed the source is no longer there.
    capture->number = display + 1;
    EXPECT_FALSE(second->onReselect(Rect(0, 0, 100, 100)));
    capture->number = display;

    // Nor once anything was drawn.
    AnnotationState drawn = second->document().state();
    drawn.objects.append(AnnotationObject(AnnotationTool::rectangle,
                                          AnnotationStyle::initial(AnnotationTool::rectangle, 1),
                                          Point{5, 5}, Point{40, 40}));
    ASSERT_TRUE(second->document().commit(drawn));
    EXPECT_FALSE(second->onReselect(Rect(0, 0, 100, 100)));
    EXPECT_EQ(windows().size(), 1u);
}

TEST_F(AppControllerTest, ADisplayChangeClosesTheOverlayWithAnAlertAndOnlyTellsEditorsOtherwise)
{
    ASSERT_NE(captureShowing(filled(Qt::gray)), nullptr);
    controller->screenChanged();
    settle();
    EXPECT_EQ(controller->selectionWindow(), nullptr);
    EXPECT_EQ(alerts->shown, QStringList{QStringLiteral("屏幕已变化 / 请重新开始截图。")});

    alerts->shown.clear();
    controller->screenChanged();
    EXPECT_TRUE(alerts->shown.isEmpty());
}

TEST_F(AppControllerTest, SettingsHidesTheOverlayAndScreenshotEditorsAndBringsThemBack)
{
    SelectionView* view = captureShowing(filled(Qt::gray));
    ASSERT_NE(view, nullptr);
    view->selectRegion(Rect(10, 10, 200, 100));
    view->confirm();
    settle();
    ASSERT_EQ(windows().size(), 1u);
    ImageWindow* editor = windows().front();
    ASSERT_NE(captureShowing(filled(Qt::gray)), nullptr);
    SelectionWindow* overlay = controller->selectionWindow();
    ASSERT_TRUE(overlay->isVisible());
    ASSERT_TRUE(editor->window()->isVisible());

    controller->openSettings();
    settle();
    EXPECT_FALSE(overlay->isVisible());
    EXPECT_FALSE(editor->window()->isVisible());
    ASSERT_NE(controller->settings(), nullptr);

    controller->settings()->close();
    settle();
    EXPECT_TRUE(overlay->isVisible());
    EXPECT_TRUE(editor->window()->isVisible());
    EXPECT_EQ(controller->selectionWindow(), overlay) << "the same overlay comes back";
}

TEST_F(AppControllerTest, AHotKeyFailureShowsOneWarningRowThatASuccessRemoves)
{
    auto warningRows = [this] {
        int rows = 0;
        for (QAction* action : controller->tray()->menu()->actions())
            rows += action->isEnabled() ? 0 : 1;
        return rows;
    };
    EXPECT_EQ(warningRows(), 0);
    EXPECT_EQ(controller->tray()->menu()->actions().size(), 4);

    const AppShortcut captureKey = controller->hotkeys().bindings().begin()->first;
    controller->hotkeys().pause();
    hotkeys->taken.insert({captureKey.keyCode, captureKey.modifiers});
    for (int attempt = 0; attempt < 2; ++attempt)
        controller->updateHotkeyWarning(
            controller->hotkeys().apply(captureKey, AppShortcut::pin()));
    EXPECT_EQ(warningRows(), 1);

    hotkeys->taken.clear();
    controller->updateHotkeyWarning(controller->hotkeys().apply(captureKey, AppShortcut::pin()));
    EXPECT_EQ(warningRows(), 0);
}

TEST_F(AppControllerTest, ReadyOnceTheHotKeysWorkOrTheMenuSaysWhyNot)
{
    AppController::ReadyState state = controller->readyState();
    EXPECT_TRUE(state.ready);
    EXPECT_EQ(state.registeredHotkeys, 3); // capture, pin and the fallback
    EXPECT_EQ(state.hotkeyWarning, std::nullopt);
    EXPECT_FALSE(state.statusButtonAttached); // no tray in these tests

    // Every key taken: nothing registered, but the warning row says so.
    const AppShortcut captureKey = controller->hotkeys().bindings().begin()->first;
    controller->hotkeys().pause();
    hotkeys->taken.insert({captureKey.keyCode, captureKey.modifiers});
    controller->updateHotkeyWarning(controller->hotkeys().apply(captureKey, AppShortcut::pin()));
    state = controller->readyState();
    EXPECT_EQ(state.registeredHotkeys, 0);
    ASSERT_TRUE(state.hotkeyWarning.has_value());
    EXPECT_TRUE(state.ready);

    // Keys given up with nothing said: not a launched Kelpie's state.
    controller->updateHotkeyWarning(std::nullopt);
    EXPECT_FALSE(controller->readyState().ready);
    controller->terminate();
    EXPECT_FALSE(controller->readyState().ready);
}

TEST_F(AppControllerTest, WithoutGlobalShortcutsTheMenuSaysHowToBindTheCaptureCommand)
{
    controller.reset();
    hotkeys = nullptr;
    launch(false, true);
    const AppController::ReadyState state = controller->readyState();
    EXPECT_EQ(state.registeredHotkeys, 0);
    ASSERT_TRUE(state.hotkeyWarning.has_value());
    EXPECT_TRUE(state.hotkeyWarning->contains(QStringLiteral("kelpie --capture-now")));
    EXPECT_TRUE(state.ready);
    // Saving shortcuts in the settings registers nothing either.
    EXPECT_TRUE(controller->applyShortcuts(AppShortcut::capture(), AppShortcut::pin()).has_value());
    EXPECT_EQ(controller->hotkeys().activeCount(), 0);

    // The settings window's key buttons lead to the desktop's settings; on
    // this machine there are none, which the alert says.
    controller->openSettings();
    ASSERT_NE(controller->settings(), nullptr);
    controller->settings()->captureRecorder()->click();
    EXPECT_FALSE(controller->settings()->captureRecorder()->recording().recording());
    ASSERT_FALSE(alerts->shown.empty());
    EXPECT_TRUE(alerts->shown.back().startsWith(QStringLiteral("无法打开快捷键设置 / ")));
}

TEST_F(AppControllerTest, WhereWindowsCannotBeCapturedTheOverlayOnlyDragsRegions)
{
    capture->windows = false;
    SelectionView* view = captureShowing(filled(Qt::gray));
    ASSERT_NE(view, nullptr);
    EXPECT_FALSE(view->model().windowPicking);
    EXPECT_EQ(view->model().statusText(), QStringLiteral("拖动选择区域"));
}

TEST_F(AppControllerTest, EveryScreenIsFrozenAtOnceAndThePointerChoosesTheActiveOne)
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.size() < 2)
        GTEST_SKIP() << "needs two screens (test_app_two_screens runs it)";
    QScreen* first = screens[0];
    QScreen* second = screens[1];
    capture->everyScreen = true;
    capture->windows = false;
    capture->currentScreens.clear();
    content = {};
    std::uint32_t number = 0;
    for (QScreen* screen : {first, second}) {
        capture->numbers[screen->name()] = ++number;
        const Rect frame = SelectionWindow::desktopFrame(screen->geometry(), first->geometry());
        const double scale = screen->devicePixelRatio();
        capture->currentScreens.push_back({number, frame});
        content.displays.push_back({number, frame, scale,
                                    Rect(frame.minX() * scale, frame.minY() * scale, frame.width() * scale,
                                         frame.height() * scale)});
    }
    capture->contentAnswer = content;
    auto answer = [this](std::size_t index, QColor color) {
        const auto& request = capture->displayRequests.at(index);
        QImage image(int(request.size.width), int(request.size.height), QImage::Format_RGB32);
        image.fill(color);
        request.answer(image);
        settle();
    };

    controller->capture();
    settle();
    ASSERT_EQ(capture->displayRequests.size(), 2u);
    answer(0, Qt::darkRed);
    EXPECT_EQ(controller->selectionWindow(), nullptr) << "nothing shows before every screen is in";
    answer(1, Qt::darkBlue);

    // The pointer is on the first screen.
    SelectionWindow* active = controller->selectionWindow();
    ASSERT_NE(active, nullptr);
    EXPECT_EQ(active->screen(), first);
    ASSERT_EQ(controller->otherOverlays().size(), 1u);
    SelectionWindow* other = controller->otherOverlays().front();
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->screen(), second);
    EXPECT_TRUE(active->isVisible() && other->isVisible());
    EXPECT_EQ(controller->selectionImage().pixelColor(0, 0), QColor(Qt::darkRed));

    // Moving over the second screen makes it the active one; the region
    // left on the first goes.
    active->view()->selectRegion(Rect(10, 10, 50, 50));
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(second->geometry().topLeft() + QPoint(5, 5)));
    QApplication::sendEvent(other, &enter);
    EXPECT_EQ(controller->selectionWindow(), other);
    EXPECT_EQ(controller->otherOverlays().front(), active);
    EXPECT_TRUE(active->view()->model().selection().isEmpty());
    EXPECT_EQ(controller->selectionImage().pixelColor(0, 0), QColor(Qt::darkBlue));

    // A copy there takes the second screen's pixels and closes both.
    other->view()->selectRegion(Rect(0, 0, 100, 60));
    other->view()->copy();
    settle();
    ASSERT_EQ(clipboard->pngs.size(), 1);
    const QImage copied = QImage::fromData(clipboard->pngs.front());
    const double scale = second->devicePixelRatio();
    EXPECT_EQ(copied.size(), QSize(qRound(100 * scale), qRound(60 * scale)));
    EXPECT_EQ(copied.pixelColor(0, 0), QColor(Qt::darkBlue));
    EXPECT_EQ(controller->selectionWindow(), nullptr);
    EXPECT_TRUE(controller->otherOverlays().empty());

    // A failure on any screen shows no overlay at all.
    controller->capture();
    settle();
    ASSERT_EQ(capture->displayRequests.size(), 4u);
    answer(2, Qt::darkRed);
    capture->displayRequests.at(3).answer(CaptureService::Result<QImage>(CaptureError::system, "gone"));
    settle();
    EXPECT_EQ(controller->selectionWindow(), nullptr);
    EXPECT_TRUE(controller->otherOverlays().empty());
    EXPECT_EQ(alerts->shown.back(), QStringLiteral("无法截取屏幕 / 请检查屏幕录制权限后重试。"));
}

} // namespace

// --- the main menu's keys --------------------------------------------------

namespace {

// Presses `key` where the keyboard is: the focused widget, else `window`.
void pressMenuKey(QWidget* window, int key, Qt::KeyboardModifiers modifiers)
{
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : window;
    QKeyEvent event(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(target, &event);
}

std::shared_ptr<AppPreferences> preferencesIn(const QTemporaryDir& folder)
{
    return std::make_shared<AppPreferences>(
        std::make_shared<PreferencesStore>(folder.filePath(QStringLiteral("editor.json"))));
}

AnnotationObject aRectangle()
{
    return AnnotationObject(AnnotationTool::rectangle,
                            AnnotationStyle::initial(AnnotationTool::rectangle, 1), Point{5, 5},
                            Point{40, 40});
}

TEST_F(AppControllerTest, MenuKeysReachTheEditorWithTheKeyboard)
{
    QImage image(120, 80, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    ImageWindow* editor = controller->showDocument(std::make_unique<AnnotationDocument>(image),
                                                   false, preferencesIn(folder), std::nullopt,
                                                   std::nullopt);
    ASSERT_NE(editor, nullptr);
    QWidget* shell = editor->window();
    shell->activateWindow();
    settle();
    AnnotationState drawn;
    drawn.objects.append(aRectangle());
    ASSERT_TRUE(editor->document().commit(drawn));

    pressMenuKey(shell, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(editor->document().state().objects.isEmpty()) << "Ctrl+Z undoes";
    pressMenuKey(shell, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(editor->document().state().objects.size(), 1) << "Ctrl+Shift+Z redoes";

    pressMenuKey(shell, Qt::Key_T, Qt::ControlModifier);
    settle();
    ASSERT_EQ(windows().size(), 2u) << "Ctrl+T pins the editor's picture";
    int pins = 0;
    for (ImageWindow* window : windows())
        pins += window->isPinned() ? 1 : 0;
    EXPECT_EQ(pins, 1);

    // Ctrl+C in the plain editor copies the composite and closes it.
    shell->activateWindow();
    settle();
    pressMenuKey(shell, Qt::Key_C, Qt::ControlModifier);
    settle();
    EXPECT_EQ(clipboard->pngs.size(), 1);
    EXPECT_EQ(windows().size(), 1u);

    // The tray menu's settings key works from any of Kelpie's windows.
    ImageWindow* pin = windows().front();
    pin->window()->activateWindow();
    settle();
    pressMenuKey(pin->window(), Qt::Key_Comma, Qt::ControlModifier);
    settle();
    EXPECT_NE(controller->settings(), nullptr);
}

TEST_F(AppControllerTest, TheOverlaysOwnKeysComeBeforeTheMenu)
{
    const QImage frozen = filled(Qt::darkMagenta);
    SelectionView* view = captureShowing(frozen);
    ASSERT_NE(view, nullptr);
    QWidget* overlay = controller->selectionWindow();
    overlay->activateWindow();
    settle();
    // The overlay's own Ctrl+A selects everything and waits for a choice,
    // where the menu's select-all would open the editor at once.
    pressMenuKey(overlay, Qt::Key_A, Qt::ControlModifier);
    settle();
    ASSERT_EQ(controller->selectionWindow(), overlay);
    EXPECT_TRUE(windows().empty());
    // Ctrl+C is the menu's: the region goes to the clipboard, nothing opens.
    pressMenuKey(overlay, Qt::Key_C, Qt::ControlModifier);
    settle();
    ASSERT_EQ(clipboard->pngs.size(), 1);
    EXPECT_EQ(QImage::fromData(clipboard->pngs.front(), "PNG").size(), frozen.size());
    EXPECT_EQ(controller->selectionWindow(), nullptr);
    EXPECT_TRUE(windows().empty());

    // The menu's select-all itself edits the whole screen at once.
    ASSERT_NE(captureShowing(frozen), nullptr);
    EXPECT_TRUE(controller->performMenuCommand(MenuCommand::selectAll,
                                               controller->selectionWindow()));
    settle();
    EXPECT_EQ(controller->selectionWindow(), nullptr);
    ASSERT_EQ(windows().size(), 1u);
    EXPECT_TRUE(windows().front()->isScreenshot());
    EXPECT_EQ(windows().front()->document().baseImage().size(), frozen.size());
}

TEST_F(AppControllerTest, KeysNoWindowTakesAreLeftAlone)
{
    QImage image(60, 40, QImage::Format_RGB32);
    image.fill(Qt::yellow);
    ImageWindow* editor = controller->showDocument(std::make_unique<AnnotationDocument>(image),
                                                   false, preferencesIn(folder), std::nullopt,
                                                   std::nullopt);
    // Cut and paste have nothing to work on in an editor.
    EXPECT_FALSE(controller->performMenuCommand(MenuCommand::cut, editor->window()));
    EXPECT_FALSE(controller->performMenuCommand(MenuCommand::paste, editor->window()));
    // A window that is not Kelpie's takes nothing.
    QWidget stranger;
    EXPECT_FALSE(controller->performMenuCommand(MenuCommand::copy, &stranger));
    EXPECT_FALSE(controller->performMenuCommand(MenuCommand::copy, nullptr));
    EXPECT_TRUE(clipboard->pngs.isEmpty());
}

TEST_F(AppControllerTest, TerminationRemovesTheScratchSuiteOfAVerificationRun)
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder.path()));
    const std::optional<ScratchPreferences> scratch
        = ScratchPreferences::saveCheck(folder.filePath(QStringLiteral("shots")));
    ASSERT_TRUE(scratch);
    // Something must be on disk for the removal to matter.
    ASSERT_TRUE(scratch->store->setString(QStringLiteral("probe"), QStringLiteral("x")).ok());
    ASSERT_TRUE(QFile::exists(scratch->store->filePath()));
    controller->setVerificationPreferencesSuite(scratch->name);
    controller->terminate();
    EXPECT_FALSE(QFile::exists(scratch->store->filePath()));
    qunsetenv("XDG_CONFIG_HOME");
}

} // namespace

namespace {

// Counts how many recognisers exist; reads nothing.
struct CountingRecognizer final : TextRecognizer {
    explicit CountingRecognizer(int& alive) : m_alive(alive) { ++m_alive; }
    ~CountingRecognizer() override { --m_alive; }
    TextAnalysis analyze(const QImage&, const RecognitionCancellation&) override { return {}; }

private:
    int& m_alive;
};

} // namespace

TEST(AppControllerRecognizer, OpenWindowsShareOneRecognizerThatGoesWithTheLast)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    int made = 0;
    int alive = 0;
    AppController::Services services;
    services.capture = std::make_shared<FakeCaptureService>();
    services.hotkeys = std::make_unique<kelpie::test::FakeService>();
    services.preferences = std::make_shared<AppPreferences>(
        std::make_shared<PreferencesStore>(folder.filePath(QStringLiteral("preferences.json"))));
    services.alerts = std::make_shared<RecordedAlerts>();
    services.clipboard = std::make_shared<FakeClipboard>();
    services.tray = false;
    services.textRecognizer = [&] {
        ++made;
        return std::make_shared<CountingRecognizer>(alive);
    };
    AppController controller(std::move(services), QStringList{QStringLiteral("kelpie")});
    controller.launch();
    auto open = [&] {
        return QPointer<ImageWindow>(controller.showDocument(
            std::make_unique<AnnotationDocument>(filled(Qt::gray)), true,
            std::make_shared<AppPreferences>(std::make_shared<PreferencesStore>(
                folder.filePath(QStringLiteral("pin.json")))),
            std::nullopt, std::nullopt));
    };
    auto settle = [] {
        for (int round = 0; round < 50; ++round)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    };
    EXPECT_FALSE(controller.holdsTextRecognizer());

    QPointer<ImageWindow> first = open();
    QPointer<ImageWindow> second = open();
    settle();
    EXPECT_EQ(made, 1);
    EXPECT_TRUE(controller.holdsTextRecognizer());

    first->close();
    settle();
    // One window still reads text.
    EXPECT_EQ(alive, 1);
    EXPECT_TRUE(controller.holdsTextRecognizer());

    second->close();
    settle();
    EXPECT_EQ(alive, 0);
    EXPECT_FALSE(controller.holdsTextRecognizer());

    // A later window gets a fresh one.
    QPointer<ImageWindow> third = open();
    settle();
    EXPECT_EQ(made, 2);
    EXPECT_EQ(alive, 1);
    third->close();
    settle();
    EXPECT_EQ(alive, 0);
}
