#include "verification/DisplayVerification.h"

#include "annotation/AnnotationDocument.h"
#include "annotation/AnnotationRenderer.h"
#include "canvas/AnnotationCanvas.h"
#include "canvas/CanvasModel.h"
#include "capture/CaptureService.h"
#include "capture/DisplayCapture.h"
#include "editor/ImageEncoding.h"
#include "editor/ImageWindow.h"
#include "editor/LiveTextOverlay.h"
#include "editor/ScreenshotPresentation.h"
#include "overlay/SelectionView.h"
#include "overlay/SelectionWindow.h"
#include "settings/ScratchPreferences.h"
#include "verification/DisplayFixture.h"
#include "verification/ImageChecks.h"
#include "verification/RoutineSteps.h"
#include "verification/SyntheticInput.h"
#include "verification/VerificationReport.h"

#include <QColorSpace>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>
#include <QWindow>

#include <nlohmann/json.hpp>

#include <cmath>
#include <optional>
#include <vector>

using namespace std::chrono_literals;

namespace kelpie {

using namespace ImageChecks;

namespace {

// A small window of this process in a colour the fixture never uses: a
// capture that shows it has failed to leave Kelpie's own windows out.
const QColor markerColour(0xff, 0x00, 0xff);
constexpr int markerSide = 48;

class Marker final : public QWidget {
public:
    explicit Marker(QScreen* screen)
        // Unmanaged, so that it lies above the host's full-screen windows
        // whatever the window manager makes of those.
        : QWidget(nullptr,
                  Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                      | Qt::X11BypassWindowManagerHint)
    {
        setWindowTitle(QStringLiteral("Kelpie · 遮挡样本"));
        setAttribute(Qt::WA_ShowWithoutActivating);
        setScreen(screen);
        const QRect frame = screen->geometry();
        setGeometry(frame.x() + frame.width() / 8, frame.y() + frame.height() * 3 / 4, markerSide,
                    markerSide);
    }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), markerColour); }
};

// The PNG Kelpie would write of `crop`, read back, against the crop taken
// to sRGB: equal when nothing on the way to a file changes a pixel.
bool pngRoundTripEqualsSrgb(const QImage& crop)
{
    const std::optional<QByteArray> png = ImageEncoding::data(crop, ImageType::png);
    if (!png)
        return false;
    QImage decoded;
    if (!decoded.loadFromData(*png, "PNG"))
        return false;
    QImage baseline = crop;
    if (baseline.colorSpace().isValid() && baseline.colorSpace() != QColorSpace(QColorSpace::SRgb))
        baseline.convertToColorSpace(QColorSpace(QColorSpace::SRgb));
    return samePixels(decoded, baseline);
}

} // namespace

struct DisplayVerification::Run {
    Inputs inputs;
    std::function<void(bool)> done;
    VerificationReport report;
    RoutineSteps steps;
    QTemporaryDir readyDir;
    std::unique_ptr<QProcess> host;
    nlohmann::json ready;
    std::vector<std::unique_ptr<Marker>> markers;
    std::optional<ScratchPreferences> scratch;
    nlohmann::json screens = nlohmann::json::array();

    // The screen being checked.
    struct Screen {
        int index = 0;
        std::string prefix;
        QPointer<QScreen> screen;
        QImage image;
        std::vector<WindowTarget> targets;
        int attempts = 0;
        double captureMs = 0;
        QImage crop;
        QRect cropPixels;
        nlohmann::json record;
        bool flowOk = true;
        std::unique_ptr<SelectionWindow> overlay;
        std::optional<QImage> confirmed;
        std::unique_ptr<ImageWindow> editor;
        std::unique_ptr<ImageWindow> pin;
        std::unique_ptr<AnnotationDocument> pinned;
        QImage initialComposite;
        QImage annotatedComposite;
    };
    Screen current;

    void check(const std::string& name, bool value)
    {
        report.check(current.prefix + "_" + name, value);
        current.flowOk = current.flowOk && value;
    }

    void script();
    void startHost();
    bool hostReady();
    void showMarkers();
    void checkScreen(int index, QScreen* screen);
    void capture();
    void checkImage();
    void dragCrop();
    void selectAll();
    void openEditor();
    void annotateUndoAndPin();
    void endScreen();
    void cancelledCapture();
    void finish();
    void stopFailed(const std::string& status, const std::string& reason = {});
};

void DisplayVerification::run(Inputs inputs, std::function<void(bool succeeded)> done)
{
    auto state = std::make_unique<Run>();
    state->inputs = std::move(inputs);
    auto* self = new DisplayVerification(std::move(state));
    Run& run = *self->m_run;
    run.done = [self, done = std::move(done)](bool succeeded) {
        self->deleteLater();
        if (done)
            done(succeeded);
    };
    run.script();
}

const char* DisplayVerification::scope()
{
    return "真实ScreenCaptureKit整屏捕获独立样本进程，生产DisplayCapture函数与SelectionView/"
           "ImageWindow消费者；受控AppKit事件，不等同实体鼠标/"
           "键盘或首次安装。只保存已验证样本的区域合成，"
           "不保存整屏。";
}

DisplayVerification::DisplayVerification(std::unique_ptr<Run> run) : m_run(std::move(run)) { }

DisplayVerification::~DisplayVerification() = default;

void DisplayVerification::Run::script()
{
    report.set("scope", scope());
    report.set("new_permissions", false);
    // The host covers the screens, but whatever stays above it (a panel, a
    // notification) is the user's and is captured too.
    report.setFixtureOnly(false);
    steps.then([this] { startHost(); })
        .waitUntil([this] { return hostReady(); }, 20s,
                   [this](bool inTime) {
                       if (!inTime)
                           stopFailed("host_not_ready");
                   })
        .then([this] { showMarkers(); })
        .waitUntil(
            [this] {
                for (const auto& marker : markers) {
                    if (!exposed(marker.get()))
                        return false;
                }
                return true;
            },
            5s)
        .pause(200ms)
        .then([this] {
            const QList<QScreen*> all = QGuiApplication::screens();
            for (int index = 0; index < all.size(); ++index)
                steps.then([this, index, screen = all[index]] { checkScreen(index, screen); });
        })
        .then([this] { cancelledCapture(); });
    steps.start([this] { finish(); });
}

void DisplayVerification::Run::stopFailed(const std::string& status, const std::string& reason)
{
    report.notRun(status, reason);
    steps.abort();
}

void DisplayVerification::Run::startHost()
{
    if (!inputs.capture || !inputs.capture->hasAccess())
        return stopFailed("skipped", "existing_permission_missing");
    const QFileInfo program(inputs.host);
    if (!program.isFile() || !program.isExecutable())
        return stopFailed("skipped", "fixture_host_missing");
    if (!readyDir.isValid())
        return stopFailed("host_start_failed", "no_ready_directory");
    host = std::make_unique<QProcess>();
    host->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    host->start(program.absoluteFilePath(), {readyDir.path()});
    if (!host->waitForStarted(5000))
        return stopFailed("host_start_failed", host->errorString().toStdString());
}

bool DisplayVerification::Run::hostReady()
{
    if (host && host->state() == QProcess::NotRunning)
        return false;
    const QString path
        = QDir(readyDir.path())
              .filePath(QStringLiteral("display-ready-%1.json").arg(host->processId()));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    ready = nlohmann::json::parse(file.readAll().toStdString(), nullptr, false);
    return ready.is_object() && ready.contains("screens");
}

void DisplayVerification::Run::showMarkers()
{
    scratch = ScratchPreferences::create(QStringLiteral("com.kelpie.display-check."));
    if (!scratch)
        return stopFailed("failed", "scratch_settings_unavailable");
    for (QScreen* screen : QGuiApplication::screens()) {
        markers.push_back(std::make_unique<Marker>(screen));
        markers.back()->show();
        markers.back()->raise();
    }
}

void DisplayVerification::Run::checkScreen(int index, QScreen* screen)
{
    current = Screen{};
    current.index = index;
    current.prefix = "display_" + std::to_string(index + 1);
    current.screen = screen;
    steps.then([this] { capture(); });
}

void DisplayVerification::Run::capture()
{
    QScreen* screen = current.screen.data();
    if (!screen) {
        check("flow_completed", false);
        return;
    }
    ++current.attempts;
    QElapsedTimer clock;
    clock.start();
    auto future = std::make_shared<QFuture<DisplayCapture::Outcome>>(
        DisplayCapture::capture(inputs.capture, screen));
    steps.waitUntil([future] { return future->isFinished(); }, 30s,
                    [this, future, clock](bool inTime) {
                        current.captureMs = clock.nsecsElapsed() / 1e6;
                        const bool got = inTime && !future->isCanceled()
                            && future->resultCount() > 0 && future->result().ok();
                        if (!got) {
                            // One more try: a window manager may still be
                            // settling the host's windows.
                            if (current.attempts < 3) {
                                steps.then([this] { capture(); });
                                return;
                            }
                            check("capture_succeeded", false);
                            return endScreen();
                        }
                        current.image = future->result().value().image;
                        current.targets = future->result().value().targets;
                        steps.then([this] { checkImage(); });
                    });
}

void DisplayVerification::Run::checkImage()
{
    QScreen* screen = current.screen.data();
    const QImage& image = current.image;
    const double scale = screen ? screen->devicePixelRatio() : 1.0;
    const QRect frame = screen ? screen->geometry() : QRect();
    const QSize displayPixels(qRound(frame.width() * scale), qRound(frame.height() * scale));

    check("four_corners_and_orientation", DisplayFixture::cornersValid(image));
    // The host says what it covered at which size; the capture must match
    // both it and the screen, pixel for pixel.
    bool hostAgrees = false;
    for (const auto& record : ready.value("screens", nlohmann::json::array())) {
        if (record.value("name", std::string()) == screen->name().toStdString())
            hostAgrees = record.value("pixel_width", 0) == image.width()
                && record.value("pixel_height", 0) == image.height();
    }
    check("native_display_resolution", image.size() == displayPixels && hostAgrees);

    const Marker* marker = markers.size() > std::size_t(current.index)
        ? markers[std::size_t(current.index)].get()
        : nullptr;
    bool excluded = marker != nullptr && screen;
    if (excluded) {
        const QPoint centre = marker->geometry().center() - frame.topLeft();
        const QPoint pixel(qRound(centre.x() * scale), qRound(centre.y() * scale));
        // The marker must really be on screen, as the X server's own
        // reading of the screen shows, for its absence to mean anything.
        const QImage onScreen
            = screen->grabWindow(0, centre.x() - 2, centre.y() - 2, 4, 4).toImage();
        excluded = !onScreen.isNull()
            && nearColour(onScreen.pixelColor(onScreen.width() / 2, onScreen.height() / 2),
                          markerColour)
            && image.rect().contains(pixel) && !nearColour(image.pixelColor(pixel), markerColour)
            && nearColour(image.pixelColor(pixel), DisplayFixture::background);
    }
    check("own_visible_window_excluded", excluded);
    bool pickable = false;
    for (const WindowTarget& target : current.targets)
        pickable = pickable || target.ownerPID == inputs.capture->processId();
    check("own_window_not_pickable", !pickable);

    current.record
        = {{"index", current.index},
           {"screen_scale", scale},
           {"display_pixels", size(displayPixels)},
           {"framebuffer_pixels", size(image.size())},
           {"filter_content_size", size(frame.size())},
           {"filter_scale", frame.width() > 0 ? double(image.width()) / frame.width() : 0.0},
           {"source_color_space", colourSpaceName(image)},
           {"capture_attempts", current.attempts},
           {"capture_with_enumeration_ms", current.captureMs}};
    steps.then([this] { dragCrop(); });
}

// A drag across the fixture's two lines of text, then Return.
void DisplayVerification::Run::dragCrop()
{
    QScreen* screen = current.screen.data();
    if (!screen)
        return endScreen();
    current.overlay = std::make_unique<SelectionWindow>(current.image, screen);
    SelectionView* view = current.overlay->view();
    view->onConfirm = [this](const QImage& crop, const Rect&, const SelectionAction&) {
        current.confirmed = crop;
    };
    view->onCancel = [] {};
    current.overlay->present();
    steps.waitUntil([this] { return exposed(current.overlay.get()); }, 5s)
        .then([this, screen] {
            SelectionView* shown = current.overlay->view();
            const QSize points = screen->geometry().size();
            const QPoint from(points.width() / 2 - 280, points.height() / 2 - 130);
            const QPoint to(points.width() / 2 + 280, points.height() / 2 + 130);
            SyntheticInput::hover(shown, from);
            SyntheticInput::drag(shown, from, to);
            SyntheticInput::key(shown, Qt::Key_Return);
            const double scale = double(current.image.width()) / points.width();
            current.cropPixels
                = QRect(QPoint(qRound(from.x() * scale), qRound(from.y() * scale)),
                        QPoint(qRound(to.x() * scale) - 1, qRound(to.y() * scale) - 1));
        })
        .waitUntil([this] { return current.confirmed.has_value(); }, 3s,
                   [this](bool confirmed) {
                       const QImage expected = current.image.copy(current.cropPixels);
                       check("drag_crop_native_pixels",
                             confirmed && samePixels(*current.confirmed, expected));
                       current.crop = confirmed ? *current.confirmed : QImage();
                       current.record["region_pixels"] = size(current.crop.size());
                       current.record["raw_png_equal_srgb_baseline"]
                           = !current.crop.isNull() && pngRoundTripEqualsSrgb(current.crop);
                       current.overlay.reset();
                       current.confirmed.reset();
                       steps.then([this] { selectAll(); });
                   });
}

// Ctrl+A in a fresh overlay takes the whole current screen.
void DisplayVerification::Run::selectAll()
{
    QScreen* screen = current.screen.data();
    if (!screen)
        return endScreen();
    current.overlay = std::make_unique<SelectionWindow>(current.image, screen);
    SelectionView* view = current.overlay->view();
    view->onConfirm = [this](const QImage& crop, const Rect&, const SelectionAction&) {
        current.confirmed = crop;
    };
    view->onCancel = [] {};
    current.overlay->present();
    steps.waitUntil([this] { return exposed(current.overlay.get()); }, 5s)
        .then([this] {
            SelectionView* shown = current.overlay->view();
            SyntheticInput::key(shown, Qt::Key_A, Qt::ControlModifier, QStringLiteral("a"));
            SyntheticInput::key(shown, Qt::Key_Return);
        })
        .waitUntil([this] { return current.confirmed.has_value(); }, 3s,
                   [this](bool confirmed) {
                       check("select_all_current_screen",
                             confirmed && samePixels(*current.confirmed, current.image));
                       current.overlay.reset();
                       current.confirmed.reset();
                       steps.then([this] { openEditor(); });
                   });
}

// The drag's crop in the real screenshot editor, read by the real
// recogniser.
void DisplayVerification::Run::openEditor()
{
    QScreen* screen = current.screen.data();
    if (!screen || current.crop.isNull() || !scratch)
        return endScreen();
    const double scale = double(current.image.width()) / screen->geometry().width();
    const Rect frame = SelectionWindow::desktopFrame(screen->geometry(),
                                                     QGuiApplication::primaryScreen()->geometry());
    // The crop's place on the screen in points, y up from the bottom-left.
    const QRect pixels = current.cropPixels;
    const double top = pixels.y() / scale;
    const double height = pixels.height() / scale;
    const Rect region(pixels.x() / scale, screen->geometry().height() - top - height,
                      pixels.width() / scale, height);
    ScreenshotPresentation presentation{current.image, frame, region,
                                        inputs.capture->displayNumber(screen), true};
    current.editor = std::make_unique<ImageWindow>(
        std::make_unique<AnnotationDocument>(current.crop), false, scratch->preferences,
        presentation, std::nullopt, nullptr, nullptr, inputs.recognizer);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    steps.waitUntil(
        [this] {
            const LiveTextOverlay* overlay = current.editor->overlay();
            return overlay && overlay->analysis() != nullptr;
        },
        60s,
        [this, clock](bool analysed) {
            current.record["safe_ocr_ms"] = clock->nsecsElapsed() / 1e6;
            const LiveTextOverlay* overlay = current.editor->overlay();
            const QString text = analysed && overlay ? withoutSpaces(overlay->text()) : QString();
            bool both = analysed;
            for (const QString& line : DisplayFixture::texts())
                both = both && text.contains(line);
            check("captured_chinese_text_recognized", both);
            current.editor->selectAll();
            check("select_all_exact_current_text",
                  overlay && !overlay->text().isEmpty()
                      && overlay->selectedText() == overlay->text());
            steps.then([this] { annotateUndoAndPin(); });
        });
}

// A rectangle drawn with the pointer changes the output; undo gives back the
// empty model and the first composite; the redone markup goes to a pin
// unchanged.
void DisplayVerification::Run::annotateUndoAndPin()
{
    ImageWindow& editor = *current.editor;
    const std::optional<QImage> initial = editor.composite();
    current.initialComposite = initial.value_or(QImage());
    current.record["composite_color_space"] = colourSpaceName(current.initialComposite);
    editor.canvas()->model().chooseTool(AnnotationTool::rectangle);
    QWidget* canvas = editor.canvas();
    const QPointF from(canvas->width() * 0.2, canvas->height() * 0.2);
    const QPointF to(canvas->width() * 0.6, canvas->height() * 0.7);
    SyntheticInput::drag(canvas, from, to);
    steps
        .waitUntil(
            [this] { return current.editor->document().state().objects.size() == 1; }, 3s,
            [this](bool drawn) {
                ImageWindow& marked = *current.editor;
                const QImage annotated = marked.composite().value_or(QImage());
                check("annotation_changes_output",
                      drawn && !annotated.isNull()
                          && !samePixels(annotated, current.initialComposite));
                current.annotatedComposite = annotated;
                marked.undo();
                check("undo_restores_empty_model", marked.document().state().objects.isEmpty());
                check("undo_restores_initial_composite",
                      samePixels(marked.composite().value_or(QImage()), current.initialComposite));
                marked.redo();
                marked.onPin = [this](std::unique_ptr<AnnotationDocument> document) {
                    current.pinned = std::move(document);
                };
                marked.pinImage();
            })
        .waitUntil([this] { return current.pinned != nullptr; }, 3s,
                   [this](bool handed) {
                       if (!handed) {
                           check("pin_preserves_current_composite", false);
                           return endScreen();
                       }
                       current.pin = std::make_unique<ImageWindow>(std::move(current.pinned), true,
                                                                   scratch->preferences);
                       steps.then([this] {
                           check("pin_preserves_current_composite",
                                 samePixels(current.pin->composite().value_or(QImage()),
                                            current.annotatedComposite));
                           endScreen();
                       });
                   });
}

void DisplayVerification::Run::endScreen()
{
    if (current.pin)
        current.pin->close();
    if (current.editor)
        current.editor->close();
    current.overlay.reset();
    report.check(current.prefix + "_flow_completed", current.flowOk);
    screens.push_back(current.record);
    // The windows go on the next turn, once their close has run.
    steps.then([this] {
        current.pin.reset();
        current.editor.reset();
    });
}

// A capture cancelled at once ends without an image.
void DisplayVerification::Run::cancelledCapture()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    auto future = std::make_shared<QFuture<DisplayCapture::Outcome>>(
        DisplayCapture::capture(inputs.capture, screen));
    future->cancel();
    steps.waitUntil([future] { return future->isFinished(); }, 30s,
                    [this, future](bool ended) {
                        report.check("cancelled_capture_rejected",
                                     ended && future->isCanceled() && future->resultCount() == 0);
                    });
}

void DisplayVerification::Run::finish()
{
    markers.clear();
    if (host) {
        host->terminate();
        if (!host->waitForFinished(3000))
            host->kill();
    }
    if (scratch)
        ScratchPreferences::remove(scratch->name);
    if (report.ran())
        report.set("screens", screens);
    done(report.conclude(inputs.reportPath));
}

} // namespace kelpie
