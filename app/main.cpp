#include "annotation/AnnotationDocument.h"
#include "app/AppAlerts.h"
#include "app/AppAppearance.h"
#include "app/AnnotationPreview.h"
#include "app/AppController.h"
#include "app/DesktopSession.h"
#include "app/LaunchOptions.h"
#include "app/OwnWindows.h"
#include "settings/ScratchPreferences.h"
#include "app/SessionStart.h"
#include "editor/QtImageClipboard.h"
#include "overlay/SelectionPreview.h"
#include "platform/DBusSingleInstance.h"
#include "platform/HelperTextRecognizer.h"
#include "platform/PortalCaptureService.h"
#include "platform/PortalHotkeyService.h"
#include "platform/TextRecognizerModule.h"
#include "platform/X11CaptureService.h"
#include "platform/X11HotkeyService.h"
#include "settings/AppPreferences.h"
#include "settings/SettingsPreview.h"
#include "verification/DisplayVerification.h"
#include "verification/InlineVerification.h"
#include "verification/PerformanceVerification.h"
#include "verification/PinVerification.h"
#include "verification/PrivacyVerification.h"
#include "verification/ScreenVerification.h"
#include "verification/SmokeVerification.h"
#include "verification/StartupBenchmark.h"
#include "verification/TextVerification.h"
#include "verification/WindowCaptureVerification.h"

#include <QApplication>
#include <QCursor>
#include <QImageReader>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <malloc.h>
#include <unistd.h>

using namespace kelpie;

namespace {

// The window system's services for this session. On Wayland the screen is
// read and keys are bound through the desktop portals; a desktop without the
// shortcuts portal binds `kelpie --capture-now` in its own settings.
// Returns the portal's hot-key service, whose refusals arrive later.
PortalHotkeyService* addWindowSystemServices(AppController::Services& services,
                                             std::shared_ptr<CaptureService>& captureService)
{
    PortalHotkeyService* portalHotkeys = nullptr;
    if (DesktopSession::detect(QProcessEnvironment::systemEnvironment())
        == DesktopSession::Kind::x11) {
        captureService = std::make_shared<X11CaptureService>();
        services.hotkeys = std::make_unique<X11HotkeyService>();
    } else {
        auto portal = std::make_shared<PortalCaptureService>();
        portal->setOwnWindowsHider(OwnWindows::hideForCapture);
        captureService = portal;
        services.globalShortcuts = PortalHotkeyService::available();
        services.desktopDecidesShortcuts = true;
        auto hotkeys = std::make_unique<PortalHotkeyService>();
        portalHotkeys = hotkeys.get();
        services.hotkeys = std::move(hotkeys);
    }
    services.capture = captureService;
    return portalHotkeys;
}

// The fixture image of "--fixture": the first image in the file, or nothing
// when the file cannot be read, which gives the ordinary start.
std::optional<QImage> loadFixture(const LaunchOptions& options)
{
    const std::optional<QString> path = options.fixturePath();
    if (!path)
        return std::nullopt;
    QImageReader reader(*path);
    QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    return image;
}

// The fixture modes this build carries. The verification routines that are
// not here yet are passed over like absent flags.
bool available(LaunchOptions::FixtureMode mode)
{
    using Mode = LaunchOptions::FixtureMode;
    switch (mode) {
    case Mode::displayVerification:
    case Mode::screenVerification:
    case Mode::smokeTest:
    case Mode::permissionGuide:
    case Mode::saveCheck:
    case Mode::renderAnnotations:
    case Mode::renderSettings:
    case Mode::renderWindowHighlight:
    case Mode::renderSelection:
    case Mode::windowCaptureTest:
    case Mode::select:
    case Mode::textVerification:
    case Mode::privacyVerification:
    case Mode::inlineVerification:
    case Mode::windowInlineVerification:
    case Mode::pinVerification:
    case Mode::editor: return true;
    default: return false;
    }
}

// The overlay over the fixture, drawn at the screen's scale, written as PNG.
bool renderSelectionTo(const QString& path, const QImage& fixture, bool windowHighlight)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QImage picture = SelectionPreview::renderSelection(
        fixture, windowHighlight, screen ? screen->devicePixelRatio() : 1.0);
    return !picture.isNull() && picture.save(path, "PNG");
}

// The first overlay pays for the pages of drawing code and fonts that
// nothing before it touched. Drawing a small one off screen once the event
// loop runs moves that cost out of the first capture.
void warmUpOverlay()
{
    QImage frozen(320, 200, QImage::Format_RGB32);
    frozen.fill(QColor(90, 127, 166));
    SelectionPreview::Options options;
    options.pointer = Point{100, 80};
    options.selection = Rect(40, 40, 160, 100);
    options.status = QStringLiteral("正在捕获窗口…");
    SelectionPreview::render(frozen, options);
    malloc_trim(0);
}

// A verification routine that runs to its end ends the process with its
// outcome.
void exitWithOutcome(bool succeeded) { QCoreApplication::exit(succeeded ? 0 : 1); }

// Starts the mode a loaded fixture selects. Returns an exit status when the
// mode has already ended the run.

std::optional<int> runFixtureMode(AppController& controller, const LaunchOptions& options,
                                  const QImage& fixture,
                                  const std::shared_ptr<CaptureService>& captureService)
{
    using Mode = LaunchOptions::FixtureMode;
    const LaunchOptions::FixtureLaunch launch = options.fixtureLaunch(available);
    auto openEditor = [&](std::shared_ptr<AppPreferences> preferences) {
        controller.showDocument(std::make_unique<AnnotationDocument>(fixture), false,
                                std::move(preferences), std::nullopt, std::nullopt);
    };
    switch (launch.mode) {
    case Mode::displayVerification:
        DisplayVerification::run({launch.displayHost, launch.path, captureService,
                                  TextRecognizerModule::make()},
                                 exitWithOutcome);
        break;
    case Mode::screenVerification:
        ScreenVerification::run({fixture, launch.path, captureService,
                                 TextRecognizerModule::make()},
                                exitWithOutcome);
        break;
    case Mode::smokeTest:
        SmokeVerification::run(controller, fixture, launch.path, exitWithOutcome);
        break;
    case Mode::permissionGuide:
        controller.showPermissionGuide();
        openEditor(AppPreferences::shared());
        break;
    case Mode::saveCheck: {
        const std::optional<ScratchPreferences> scratch = ScratchPreferences::saveCheck(launch.path);
        if (!scratch) {
            std::fputs("Kelpie could not create the scratch settings of the save check.\n",
                       stderr);
            return 1;
        }
        controller.setVerificationPreferencesSuite(scratch->name);
        openEditor(scratch->preferences);
        break;
    }
    case Mode::renderAnnotations:
        return AnnotationPreview::renderTo(fixture, launch.path,
                                           {launch.previewPin, launch.previewCurvedArrow})
            ? 0
            : 1;
    case Mode::renderSettings:
        return SettingsPreview::renderTo(launch.path, launch.settingsError) ? 0 : 1;
    case Mode::renderWindowHighlight:
    case Mode::renderSelection:
        return renderSelectionTo(launch.path, fixture,
                                 launch.mode == Mode::renderWindowHighlight)
            ? 0
            : 1;
    case Mode::windowCaptureTest:
        // The check ends the process itself.
        WindowCaptureVerification::run(controller.captureService(), fixture, launch.path,
                                       exitWithOutcome);
        break;
    case Mode::select:
        controller.capture();
        break;
    case Mode::textVerification:
        TextVerification::run(launch.path, launch.previewPath, exitWithOutcome);
        break;
    case Mode::privacyVerification:
        PrivacyVerification::run(launch.path, launch.previewPath, launch.checkClipboard,
                                 exitWithOutcome);
        break;
    case Mode::inlineVerification:
        InlineVerification::run(launch.path, launch.previewPath, exitWithOutcome);
        break;
    case Mode::windowInlineVerification:
        // A kept preview leaves the process running; it is quit like any other.
        InlineVerification::runWindow(launch.path, launch.keepPreview, exitWithOutcome);
        break;
    case Mode::pinVerification: {
        // A kept preview keeps the process; otherwise the outcome ends it.
        std::function<void(bool)> done = [](bool) {};
        if (!launch.keepPreview)
            done = exitWithOutcome;
        PinVerification::run(fixture, launch.path, launch.keepPreview,
                             TextRecognizerModule::make(), std::move(done));
        break;
    }
    default:
        openEditor(AppPreferences::shared());
        break;
    }
    return std::nullopt;
}

// A desktop shortcut runs `kelpie --capture-now` while Kelpie is running:
// hand the request over with the core library alone, before the toolkit
// connects to the display and loads its fonts. True when it was taken.
// Otherwise this process starts again as itself, to run with a display
// connection it never had to open for nothing.
constexpr const char* earlyHandOverTried = "KELPIE_EARLY_HAND_OVER_TRIED";

bool handedOverEarly(int argc, char* argv[])
{
    if (qEnvironmentVariableIsSet(earlyHandOverTried))
        return false;
    QStringList arguments;
    for (int index = 0; index < argc; ++index)
        arguments.append(QString::fromLocal8Bit(argv[index]));
    const LaunchOptions options(arguments);
    if (options.runsIndependently() || !options.captureNow(false))
        return false;
    bool taken = false;
    {
        QCoreApplication core(argc, argv);
        DBusSingleInstance instance;
        taken = SessionStart::handOverEarly(options, instance);
    }
    if (taken)
        return true;
    qputenv(earlyHandOverTried, "1");
    execv("/proc/self/exe", argv);
    // Without a way to start again, go on in this process.
    return false;
}
} // namespace

int main(int argc, char* argv[])
{
    // Frozen screens, composites and encoded files come and go in blocks of
    // megabytes; keep every such block in its own mapping, so that it goes
    // back to the system when freed instead of swelling the idle process.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    // Qt aborts with a terse plug-in error when it cannot reach a display;
    // say plainly what is missing instead.
    if (!DesktopSession::hasDisplay(QProcessEnvironment::systemEnvironment())) {
        std::fputs("Kelpie needs a graphical session: neither DISPLAY nor WAYLAND_DISPLAY is set.\n",
                   stderr);
        return 1;
    }
    if (handedOverEarly(argc, argv))
        return 0;
    qunsetenv(earlyHandOverTried);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelpie"));
    // Names the desktop entry: Wayland compositors take it as the windows'
    // application id (for icons and window rules).
    QGuiApplication::setDesktopFileName(QStringLiteral("kelpie"));
    QApplication::setQuitOnLastWindowClosed(false);
    const LaunchOptions options(QApplication::arguments());

    DBusSingleInstance instance;
    const auto role = SessionStart::settle(options, instance);
    if (!role) {
        std::fputs("Kelpie is already running but did not take the request; try again.\n", stderr);
        return 1;
    }
    if (role.value() == SessionStart::Role::handedOver)
        return 0;

    AppAppearance::apply(options.appearance());

    AppController::Services services;
    std::shared_ptr<CaptureService> captureService;
    PortalHotkeyService* portalHotkeys = addWindowSystemServices(services, captureService);
    services.preferences = AppPreferences::shared();
    // The smoke test records and resets shortcuts: it gets settings of its
    // own, removed when it ends, and never touches the user's.
    std::optional<ScratchPreferences> smokeSettings;
    if (options.fixturePath()
        && options.fixtureLaunch(available).mode == LaunchOptions::FixtureMode::smokeTest) {
        smokeSettings = ScratchPreferences::create(QStringLiteral("com.kelpie.settings-tests."));
        if (!smokeSettings) {
            std::fputs("Kelpie could not create the scratch settings of the smoke test.\n", stderr);
            return 1;
        }
        services.preferences = smokeSettings->preferences;
    }
    services.alerts = std::make_shared<MessageBoxAlerts>();
    services.clipboard = std::make_shared<QtImageClipboard>();
    services.pointer = [] { return QCursor::pos(); };
    services.textRecognizer = HelperTextRecognizer::make;
    AppController controller(std::move(services), options.arguments());
    if (portalHotkeys)
        portalHotkeys->setFailureHandler(
            [&controller](const QString& message) { controller.updateHotkeyWarning(message); });

    const std::optional<QImage> fixture = loadFixture(options);
    if (fixture)
        controller.setFixture(*fixture);
    if (smokeSettings)
        controller.setVerificationPreferencesSuite(smokeSettings->name);
    controller.launch();
    instance.onRequest = [&controller](SingleInstance::Request) { controller.capture(); };
    // A Kelpie started by the startup benchmark says when it is ready, and ends.
    if (const std::optional<QString> readyFile = options.benchmarkReadyFile())
        StartupBenchmark::announceReady(controller, *readyFile);
    if (fixture) {
        if (const std::optional<int> status = runFixtureMode(controller, options, *fixture, captureService))
            return *status;
    } else {
        QTimer::singleShot(0, &controller, warmUpOverlay);
    }
    if (const std::optional<LaunchOptions::Benchmark> benchmark = options.benchmark()) {
        PerformanceVerification::run(benchmark->mode, benchmark->reportPath,
                                     benchmark->fixtureDirectory, controller,
                                     benchmark->displayHost, [&controller](bool succeeded) {
                                         controller.hotkeys().shutdown();
                                         QCoreApplication::exit(succeeded ? 0 : 1);
                                     });
    }
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &controller,
                     &AppController::terminate);
    return application.exec();
}
