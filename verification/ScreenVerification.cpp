#include "verification/ScreenVerification.h"

#include "annotation/AnnotationDocument.h"
#include "canvas/AnnotationCanvas.h"
#include "canvas/CanvasModel.h"
#include "capture/CaptureService.h"
#include "capture/DisplayCapture.h"
#include "capture/PixelLimits.h"
#include "capture/WindowCapture.h"
#include "editor/ImageWindow.h"
#include "editor/LiveTextOverlay.h"
#include "editor/ScreenshotPresentation.h"
#include "overlay/SelectionWindow.h"
#include "settings/ScratchPreferences.h"
#include "verification/ImageChecks.h"
#include "verification/RoutineSteps.h"
#include "verification/SyntheticInput.h"
#include "verification/VerificationReport.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QWidget>

#include <nlohmann/json.hpp>

#include <cmath>
#include <optional>

using namespace std::chrono_literals;

namespace kelpie {

using namespace ImageChecks;

namespace {

// The fixture at one image pixel per device pixel, in a frameless window of
// this process.
class FixtureWindow final : public QWidget {
public:
    explicit FixtureWindow(const QImage& image)
        : QWidget(nullptr, Qt::FramelessWindowHint), m_image(image)
    {
        setWindowTitle(QStringLiteral("Kelpie · 文字样本"));
        setAttribute(Qt::WA_ShowWithoutActivating);
    }

    // Centres the window on `screen`, sized so the image keeps its pixels.
    void placeOn(QScreen* screen)
    {
        setScreen(screen);
        const double scale = screen->devicePixelRatio();
        const QSize points(qRound(m_image.width() / scale), qRound(m_image.height() / scale));
        const QRect frame = screen->geometry();
        setGeometry(
            QRect(frame.center() - QPoint(points.width() / 2, points.height() / 2), points));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QImage shown = m_image;
        shown.setDevicePixelRatio(devicePixelRatioF());
        QPainter(this).drawImage(0, 0, shown);
    }

private:
    QImage m_image;
};

} // namespace

struct ScreenVerification::Run {
    Inputs inputs;
    std::function<void(bool)> done;
    VerificationReport report;
    RoutineSteps steps;
    std::optional<ScratchPreferences> scratch;
    std::unique_ptr<FixtureWindow> window;
    nlohmann::json screens = nlohmann::json::array();

    struct Screen {
        int index = 0;
        std::string prefix;
        QPointer<QScreen> screen;
        WindowCapture::Snapshot windowShot;
        DisplayCapture::Snapshot displayShot;
        std::unique_ptr<ImageWindow> editor;
        QImage initialExport;
        nlohmann::json record;
    };
    Screen current;

    void check(const std::string& name, bool value)
    {
        report.check(current.prefix + "_" + name, value);
    }

    void script();
    void checkScreen(int index, QScreen* screen);
    void captureWindow();
    void captureDisplay();
    void edit();
    void checkMarker(QPointF from, QPointF to, QSizeF points);
    void endScreen();
    void finish();
};

void ScreenVerification::run(Inputs inputs, std::function<void(bool succeeded)> done)
{
    auto state = std::make_unique<Run>();
    state->inputs = std::move(inputs);
    auto* self = new ScreenVerification(std::move(state));
    Run& run = *self->m_run;
    run.done = [self, done = std::move(done)](bool succeeded) {
        self->deleteLater();
        if (done)
            done(succeeded);
    };
    run.script();
}

const char* ScreenVerification::scope()
{
    return "真实当前显示器上移动本进程样本窗口并捕获；受控AppKit事件编辑，不等同实体鼠标/"
           "全局键测试";
}

ScreenVerification::ScreenVerification(std::unique_ptr<Run> run) : m_run(std::move(run)) { }

ScreenVerification::~ScreenVerification() = default;

void ScreenVerification::Run::script()
{
    report.set("scope", scope());
    report.setFixtureOnly(true);
    const QList<QScreen*> all = QGuiApplication::screens();
    if (all.isEmpty()) {
        report.notRun("no_screen");
        steps.start([this] { finish(); });
        return;
    }
    const QImage& fixture = inputs.fixture;
    if (fixture.isNull() || !PixelLimits::accepts(fixture.width(), fixture.height())) {
        report.notRun("failed", "fixture_size_unsupported");
        report.check("fixture_size_unsupported", false);
        steps.start([this] { finish(); });
        return;
    }
    scratch = ScratchPreferences::create(QStringLiteral("com.kelpie.screen-check."));
    if (!inputs.capture || !scratch) {
        report.notRun("failed", inputs.capture ? "scratch_settings_unavailable" : "no_capture");
        steps.start([this] { finish(); });
        return;
    }
    bool scaleOne = false;
    bool scaleTwo = false;
    for (const QScreen* screen : all) {
        scaleOne = scaleOne || screen->devicePixelRatio() == 1.0;
        scaleTwo = scaleTwo || screen->devicePixelRatio() == 2.0;
    }
    report.set("mixed_1x_2x_available", scaleOne && scaleTwo);
    // The window shows the fixture in the screen's 8-bit colours; that is
    // what every capture of it must give back.
    inputs.fixture = fixture.convertToFormat(QImage::Format_RGB32);
    window = std::make_unique<FixtureWindow>(inputs.fixture);
    for (int index = 0; index < all.size(); ++index)
        steps.then([this, index, screen = all[index]] { checkScreen(index, screen); });
    steps.start([this] { finish(); });
}

void ScreenVerification::Run::checkScreen(int index, QScreen* screen)
{
    current = Screen{};
    current.index = index;
    current.prefix = "display_" + std::to_string(index + 1);
    current.screen = screen;
    // Moved while mapped: a window manager places a newly mapped window
    // where it likes, but honours moves of one on screen.
    window->placeOn(screen);
    window->show();
    // Placed by the window manager, which may take a moment to agree.
    steps
        .waitUntil(
            [this, screen] {
                return exposed(window.get()) && window->screen() == screen
                    && screen->geometry().contains(window->geometry());
            },
            5s)
        .pause(150ms)
        .then([this] {
            QScreen* target = current.screen.data();
            const QRect frame = window->geometry();
            check("window_on_requested_screen",
                  target && window->screen() == target
                      && QGuiApplication::screenAt(frame.center()) == target
                      && target->geometry().contains(frame));
            captureWindow();
        });
}

// The window alone, through the window capture with the owner check.
void ScreenVerification::Run::captureWindow()
{
    auto future = std::make_shared<QFuture<WindowCapture::Outcome>>(WindowCapture::captureSnapshot(
        inputs.capture, std::uint32_t(window->winId()), inputs.capture->processId()));
    steps.waitUntil(
        [future] { return future->isFinished(); }, 20s,
        [this, future](bool inTime) {
            QScreen* screen = current.screen.data();
            const bool got = inTime && !future->isCanceled() && future->resultCount() > 0
                && future->result().ok() && screen;
            check("capture_and_mapping",
                  got && samePixels(future->result().value().image, inputs.fixture));
            if (!got)
                return endScreen();
            current.windowShot = future->result().value();
            const double scale = screen->devicePixelRatio();
            const QRect frame = window->geometry();
            check("capture_native_size",
                  current.windowShot.image.size()
                      == QSize(qRound(frame.width() * scale), qRound(frame.height() * scale)));
            // The captured frame, taken into the screen's own space (y up from
            // its bottom-left), is exactly where the toolkit put the window.
            const QRect primary = QGuiApplication::primaryScreen()->geometry();
            const Rect screenFrame = SelectionWindow::desktopFrame(screen->geometry(), primary);
            const std::optional<Rect> local = WindowTarget::localRect(
                current.windowShot.quartzFrame, screenFrame, primary.height());
            const QRect onScreen = frame.translated(-screen->geometry().topLeft());
            const Rect expected(onScreen.x(), screen->geometry().height() - onScreen.bottom() - 1,
                                onScreen.width(), onScreen.height());
            // The toolkit keeps window frames in whole points; at a fractional
            // scale the capture's exact frame may lie up to a point away.
            const double slack = scale == std::floor(scale) ? 0.5 : 1.0;
            const auto close = [slack](double a, double b) { return std::abs(a - b) <= slack; };
            check("quartz_to_local",
                  local && close(local->minX(), expected.minX())
                      && close(local->minY(), expected.minY())
                      && close(local->width(), expected.width())
                      && close(local->height(), expected.height()));
            const Rect& q = current.windowShot.quartzFrame;
            current.record
                = {{"index", current.index},
                   {"screen_scale", scale},
                   {"window_scale",
                    frame.width() > 0 ? double(current.windowShot.image.width()) / frame.width()
                                      : 0.0},
                   {"quartz_window_frame", {q.minX(), q.minY(), q.width(), q.height()}},
                   // The capture is checked in memory and never written.
                   {"own_window_capture_file", nullptr}};
            steps.then([this] { captureDisplay(); });
        });
}

// The whole screen under the window: Kelpie's own window is neither in the
// picture's targets nor, at the size of the display, missing pixels.
void ScreenVerification::Run::captureDisplay()
{
    QScreen* screen = current.screen.data();
    if (!screen)
        return endScreen();
    auto future = std::make_shared<QFuture<DisplayCapture::Outcome>>(
        DisplayCapture::capture(inputs.capture, screen));
    steps.waitUntil(
        [future] { return future->isFinished(); }, 20s,
        [this, future](bool inTime) {
            QScreen* shown = current.screen.data();
            const bool got = inTime && !future->isCanceled() && future->resultCount() > 0
                && future->result().ok() && shown;
            bool excluded = got;
            if (got) {
                current.displayShot = future->result().value();
                for (const WindowTarget& target : current.displayShot.targets)
                    excluded = excluded && target.ownerPID != inputs.capture->processId();
                current.record["capture_scale"]
                    = double(current.displayShot.image.width()) / shown->geometry().width();
            }
            check("self_excluded_from_window_targets", excluded);
            if (!got)
                return endScreen();
            steps.then([this] { edit(); });
        });
}

// The window's capture in the screenshot editor, at its place on the
// frozen screen: a rectangle drawn with the pointer lands on the source
// pixels under the pointer, and undo gives back the exact first export.
void ScreenVerification::Run::edit()
{
    QScreen* screen = current.screen.data();
    if (!screen)
        return endScreen();
    const QRect primary = QGuiApplication::primaryScreen()->geometry();
    const Rect screenFrame = SelectionWindow::desktopFrame(screen->geometry(), primary);
    const std::optional<Rect> region
        = WindowTarget::localRect(current.windowShot.quartzFrame, screenFrame, primary.height());
    ScreenshotPresentation presentation{current.displayShot.image, screenFrame,
                                        region.value_or(Rect()),
                                        inputs.capture->displayNumber(screen), false};
    current.editor = std::make_unique<ImageWindow>(
        std::make_unique<AnnotationDocument>(current.windowShot.image), false, scratch->preferences,
        presentation, std::nullopt, nullptr, nullptr, inputs.recognizer);
    steps.waitUntil([this] { return exposed(current.editor->canvas()->window()); }, 5s)
        .waitUntil(
            [this] {
                const LiveTextOverlay* overlay = current.editor->overlay();
                return overlay && overlay->analysis() != nullptr;
            },
            60s,
            [this](bool analysed) {
                ImageWindow& editor = *current.editor;
                const LiveTextOverlay* overlay = editor.overlay();
                editor.selectAll();
                check("select_all_matches_safe_text",
                      analysed && overlay && !overlay->text().isEmpty()
                          && overlay->selectedText() == overlay->text());
                current.initialExport = editor.composite().value_or(QImage());
                check("export_keeps_source_pixels",
                      samePixels(current.initialExport, current.windowShot.image));

                AnnotationCanvas* canvas = editor.canvas();
                editor.canvas()->model().chooseTool(AnnotationTool::rectangle);
                const QSizeF points = canvas->size();
                const QPointF from(points.width() * 0.25, points.height() * 0.3);
                const QPointF to(points.width() * 0.7, points.height() * 0.75);
                SyntheticInput::drag(canvas, from, to);
                // The canvas redraws its composite on the next turn.
                steps.then([this, from, to, points] { checkMarker(from, to, points); });
            });
}

void ScreenVerification::Run::checkMarker(QPointF from, QPointF to, QSizeF points)
{
    ImageWindow& editor = *current.editor;
    const QImage& source = current.windowShot.image;
    const double sx = source.width() / points.width();
    const double sy = source.height() / points.height();
    const auto& objects = editor.document().state().objects;
    bool tracks = objects.size() == 1;
    if (tracks) {
        // Annotations live in image pixels with y up from the bottom.
        const Rect bounds = objects.front().bounds();
        const auto near = [sx](double a, double b) { return std::abs(a - b) <= sx + 0.5; };
        tracks = near(bounds.minX(), from.x() * sx) && near(bounds.maxX(), to.x() * sx)
            && near(bounds.minY(), (points.height() - to.y()) * sy)
            && near(bounds.maxY(), (points.height() - from.y()) * sy);
    }
    check("edit_event_tracks_source_coordinates", tracks);

    // The stroke lies on the pixels under the pointer's path; the
    // inside of the rectangle and the rest keep the source's pixels.
    const QImage marked = editor.stableImage().value_or(QImage());
    // The middle of the top edge: the corners are rounded.
    const QPoint edge(qRound((from.x() + to.x()) / 2 * sx), qRound(from.y() * sy));
    const QPoint inside(qRound((from.x() + to.x()) / 2 * sx), qRound((from.y() + to.y()) / 2 * sy));
    const QPoint outside(qRound(from.x() * sx / 2), qRound(from.y() * sy / 2));
    check("rendered_marker_and_base_align",
          marked.size() == source.size() && marked.rect().contains(edge)
              && marked.pixelColor(edge) != source.pixelColor(edge)
              && marked.pixelColor(inside) == source.pixelColor(inside)
              && marked.pixelColor(outside) == source.pixelColor(outside));

    editor.undo();
    steps.then([this] {
        check("undo_restores_exact_export",
              samePixels(current.editor->composite().value_or(QImage()), current.initialExport));
        endScreen();
    });
}

void ScreenVerification::Run::endScreen()
{
    if (current.editor)
        current.editor->close();
    if (!current.record.is_null())
        screens.push_back(current.record);
    steps.then([this] { current.editor.reset(); });
}

void ScreenVerification::Run::finish()
{
    window.reset();
    if (scratch)
        ScratchPreferences::remove(scratch->name);
    if (report.ran())
        report.set("screens", screens);
    done(report.conclude(inputs.reportPath));
}

} // namespace kelpie
