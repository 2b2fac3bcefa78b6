#include "verification/WindowInlineRun.h"

#include "annotation/AnnotationDocument.h"
#include "canvas/AnnotationCanvas.h"
#include "canvas/AnnotationWindow.h"
#include "capture/WindowCapture.h"
#include "capture/WindowTarget.h"
#include "editor/ImageWindow.h"
#include "editor/ScreenshotBorder.h"
#include "editor/ScreenshotView.h"
#include "overlay/SelectionWindow.h"
#include "platform/X11CaptureService.h"
#include "settings/ScratchPreferences.h"
#include "verification/RoutineClipboard.h"
#include "verification/RoutineSteps.h"
#include "verification/VerificationReport.h"

#include <QFont>
#include <QFutureWatcher>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <cmath>
#include <memory>
#include <vector>

namespace kelpie {

namespace {

using namespace std::chrono_literals;

constexpr auto windowPatience = 10s;
constexpr auto capturePatience = 20s;

const QColor hiddenRed(0xFF, 0x00, 0x00);
const QColor ground(0xFF, 0xFF, 0xFF);
const QColor coverGrey(0x70, 0x70, 0x70);
const QColor sampleBlue(0x00, 0x50, 0xFF);
const QColor sampleGreen(0x00, 0xA0, 0x40);
// The fixture window's client area, in points.
constexpr QSize fixtureSize(640, 360);
// Its left part, red, which the cover hides.
constexpr QRect redPart(0, 0, 160, 360);
constexpr QRect bluePatch(400, 230, 60, 60);
constexpr QRect greenPatch(500, 230, 60, 60);

// The window whose left part is hidden: red on the left, a status line and
// two colour patches on white to the right.
class FixtureWindow : public QWidget {
public:
    FixtureWindow()
    {
        setWindowTitle(QStringLiteral("Kelpie · 遮挡样本"));
        setFixedSize(fixtureSize);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), ground);
        painter.fillRect(redPart, hiddenRed);
        painter.fillRect(bluePatch, sampleBlue);
        painter.fillRect(greenPatch, sampleGreen);
        painter.setPen(QColor(0x1f, 0x1f, 0x1f));
        QFont font(QStringLiteral("Noto Sans CJK SC"));
        font.setPixelSize(26);
        font.setBold(true);
        painter.setFont(font);
        painter.drawText(QPoint(190, 80), QStringLiteral("窗口原位编辑"));
        font.setPixelSize(17);
        font.setBold(false);
        painter.setFont(font);
        painter.drawText(QPoint(190, 120), QStringLiteral("可见内容保持原位，输出保留完整窗口。"));
    }
};

// What the image shows at a point of the fixture's client area, given
// where the client area starts in it and its pixels per point.
QColor sample(const QImage& image, QPointF clientOrigin, double ratio, QPoint point)
{
    const QPoint pixel((clientOrigin + QPointF(point) * ratio + QPointF(0.5, 0.5)).toPoint());
    return image.rect().contains(pixel) ? image.pixelColor(pixel) : QColor();
}

// Every point of a grid over `area` shows `colour` exactly.
bool allOf(const QImage& image, QPointF clientOrigin, double ratio, const QRect& area,
           const QColor& colour)
{
    for (int y = area.top() + 4; y < area.bottom() - 2; y += 12)
        for (int x = area.left() + 4; x < area.right() - 2; x += 12)
            if (sample(image, clientOrigin, ratio, {x, y}).rgb() != colour.rgb())
                return false;
    return true;
}

class WindowRun : public QObject {
public:
    WindowRun(QString reportPath, bool keepPreview, std::function<void(bool)> done)
        : m_reportPath(std::move(reportPath)), m_keepPreview(keepPreview), m_done(std::move(done)),
          m_steps(new RoutineSteps(this))
    {
    }

    void start()
    {
        m_screen = QGuiApplication::primaryScreen();
        m_scratch = ScratchPreferences::create(QStringLiteral("com.kelpie.window-inline-check."));
        if (!m_screen || !m_scratch) {
            m_report.notRun("failed", m_screen ? "scratch_preferences_unavailable" : "no_screen");
            finish();
            return;
        }
        // Windows of this process only; the user's windows are never read.
        m_report.setFixtureOnly(true);
        m_ratio = m_screen->devicePixelRatio();
        showFixture();
        capture();
        openEditor();
        checkEditor();
        m_steps->start([this] { finish(); });
    }

private:
    void showFixture()
    {
        m_steps->then([this] {
            m_fixture = std::make_unique<FixtureWindow>();
            const QRect available = m_screen->availableGeometry();
            m_fixture->move(available.left() + 120, available.top() + 140);
            m_fixture->show();
        });
        m_steps->waitUntil([this] { return m_fixture->isVisible() && m_fixture->winId(); },
                           windowPatience);
        m_steps->pause(300ms);
        m_steps->then([this] {
            // The cover: a plain window of this process over the red part.
            m_cover = std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint);
            m_cover->setWindowTitle(QStringLiteral("Kelpie · 遮挡样本 · 遮挡"));
            QPalette palette = m_cover->palette();
            palette.setColor(QPalette::Window, coverGrey);
            m_cover->setPalette(palette);
            m_cover->setAutoFillBackground(true);
            const QPoint client = m_fixture->mapToGlobal(QPoint(0, 0));
            m_cover->setGeometry(
                QRect(client - QPoint(40, 40), QSize(redPart.width() + 40, redPart.height() + 80)));
            m_cover->show();
            m_cover->raise();
        });
        m_steps->pause(400ms);
        m_steps->then([this] {
            // What the screen shows over the fixture (and only there, where
            // this process's windows are): the cover, not the red.
            const QPoint client
                = m_fixture->mapToGlobal(QPoint(0, 0)) - m_screen->geometry().topLeft();
            const QImage shown = m_screen
                                     ->grabWindow(0, client.x(), client.y(), fixtureSize.width(),
                                                  fixtureSize.height())
                                     .toImage();
            m_report.check("fixture_left_part_hidden_on_screen",
                           allOf(shown, QPointF(), m_ratio, redPart, coverGrey)
                               && allOf(shown, QPointF(), m_ratio, bluePatch, sampleBlue));
        });
    }

    // The fixture window through the real window capture, as a picked
    // window is captured.
    void capture()
    {
        m_steps->then([this] {
            m_service = std::make_shared<X11CaptureService>();
            auto* watcher = new QFutureWatcher<WindowCapture::Outcome>(this);
            connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
                watcher->deleteLater();
                if (!watcher->future().isCanceled())
                    m_outcome = watcher->future().result();
                m_captureEnded = true;
            });
            watcher->setFuture(WindowCapture::captureSnapshot(
                m_service, std::uint32_t(m_fixture->winId()), m_service->processId()));
        });
        m_steps->waitUntil([this] { return m_captureEnded; }, capturePatience);
        m_steps->then([this] {
            const bool captured = m_outcome && m_outcome->ok();
            if (captured)
                m_snapshot = m_outcome->value();
            // The image holds the whole window, frame included: at least the
            // client area, and its frame holds the client's position.
            const QRect client(m_fixture->mapToGlobal(QPoint(0, 0)), m_fixture->size());
            const QRectF frame = captured
                ? QRectF(m_snapshot.quartzFrame.minX(), m_snapshot.quartzFrame.minY(),
                         m_snapshot.quartzFrame.width(), m_snapshot.quartzFrame.height())
                : QRectF();
            const QSize expected(qRound(frame.width() * m_ratio), qRound(frame.height() * m_ratio));
            m_clientOrigin = (QPointF(client.topLeft()) - frame.topLeft()) * m_ratio;
            m_report.check("actual_system_window_capture",
                           captured && !m_snapshot.image.isNull()
                               && m_snapshot.image.size() == expected
                               && frame.contains(QRectF(client)));
            if (!captured) {
                m_steps->abort();
                return;
            }
            m_report.check("hidden_left_red_pixels_preserved",
                           allOf(m_snapshot.image, m_clientOrigin, m_ratio, redPart, hiddenRed));
        });
    }

    // The editor the controller opens on a picked window: the capture at
    // the window's place, no re-crop.
    void openEditor()
    {
        m_steps->then([this] {
            const QRect primaryGeometry = QGuiApplication::primaryScreen()->geometry();
            const Rect screenFrame
                = SelectionWindow::desktopFrame(m_screen->geometry(), primaryGeometry);
            const double primaryTop
                = SelectionWindow::desktopFrame(primaryGeometry, primaryGeometry).maxY();
            const std::optional<Rect> region
                = WindowTarget::editorRect(m_snapshot.quartzFrame, screenFrame, primaryTop);
            if (!region) {
                m_report.check("complete_window_placement", false);
                m_steps->abort();
                return;
            }
            const ScreenshotPresentation presentation{m_snapshot.image, screenFrame, *region,
                                                      m_service->displayNumber(m_screen), false};
            m_window = std::make_unique<ImageWindow>(
                std::make_unique<AnnotationDocument>(m_snapshot.image), false,
                m_scratch->preferences, presentation, std::nullopt, m_clipboard);
        });
        m_steps->waitOrFail(
            [this] {
                return m_window && m_window->window()->isVisible()
                    && m_window->screenshotView()->placement().has_value();
            },
            windowPatience, m_report, "complete_window_placement");
        m_steps->pause(200ms);
    }

    void checkEditor()
    {
        m_steps->then([this] {
            // The canvas lies exactly where the whole window lies on screen.
            AnnotationCanvas& canvas = *m_window->canvas();
            const QRect shown(canvas.mapToGlobal(QPoint(0, 0)), canvas.size());
            const Rect& frame = m_snapshot.quartzFrame;
            const QRectF expected(frame.minX(), frame.minY(), frame.width(), frame.height());
            m_report.check("complete_window_placement",
                           std::abs(shown.left() - expected.left()) < 1
                               && std::abs(shown.top() - expected.top()) < 1
                               && std::abs(shown.width() - expected.width()) < 1
                               && std::abs(shown.height() - expected.height()) < 1
                               && canvas.isVisible());
            ScreenshotView& view = *m_window->screenshotView();
            m_report.check("window_capture_has_no_recrop_handles",
                           !view.presentation().allowsAdjustment && !view.canAdjust()
                               && !view.border()->state().handles);
            const std::optional<QImage> composite = m_window->composite();
            m_report.check("editor_keeps_hidden_red_pixels",
                           composite
                               && allOf(*composite, m_clientOrigin, m_ratio, redPart, hiddenRed));
            m_clipboard->clear();
            m_window->toolbarCopy();
            QImage output;
            if (m_clipboard->png())
                output.loadFromData(*m_clipboard->png(), "PNG");
            const QImage captured = m_snapshot.image.convertToFormat(QImage::Format_ARGB32);
            m_report.check("output_keeps_complete_window_pixels",
                           !output.isNull()
                               && output.convertToFormat(QImage::Format_ARGB32) == captured);
            m_report.check(
                "output_pixel_samples_match_window",
                !output.isNull() && allOf(output, m_clientOrigin, m_ratio, redPart, hiddenRed)
                    && allOf(output, m_clientOrigin, m_ratio, bluePatch, sampleBlue)
                    && allOf(output, m_clientOrigin, m_ratio, greenPatch, sampleGreen)
                    && allOf(output, m_clientOrigin, m_ratio, QRect(180, 300, 200, 50), ground));
            m_report.check("copy_keeps_window_editor_open", !m_window->isClosed());
        });
    }

    void finish()
    {
        if (m_keepPreview && m_window && !m_window->isClosed()) {
            keepPreview();
            return;
        }
        closeAll();
        if (m_scratch)
            m_report.check("scratch_settings_removed", ScratchPreferences::remove(m_scratch->name));
        const bool succeeded = m_report.conclude(m_reportPath);
        std::function<void(bool)> done = std::move(m_done);
        deleteLater();
        if (done)
            done(succeeded);
    }

    // The report is written with the windows still open; the scratch
    // settings go, and the fixtures with them, once the editor is closed.
    void keepPreview()
    {
        m_report.conclude(m_reportPath);
        const QString suite = m_scratch->name;
        m_window->onClose = [this, suite] {
            ScratchPreferences::remove(suite);
            QTimer::singleShot(0, this, [this] {
                closeAll();
                deleteLater();
            });
        };
    }

    void closeAll()
    {
        if (m_window) {
            if (!m_window->isClosed())
                m_window->close();
            m_window.reset();
        }
        m_cover.reset();
        m_fixture.reset();
    }

    QString m_reportPath;
    bool m_keepPreview;
    std::function<void(bool)> m_done;
    RoutineSteps* m_steps;
    VerificationReport m_report;
    std::optional<ScratchPreferences> m_scratch;
    QScreen* m_screen = nullptr;
    double m_ratio = 1;
    std::unique_ptr<FixtureWindow> m_fixture;
    std::unique_ptr<QWidget> m_cover;
    std::shared_ptr<X11CaptureService> m_service;
    std::optional<WindowCapture::Outcome> m_outcome;
    bool m_captureEnded = false;
    WindowCapture::Snapshot m_snapshot;
    QPointF m_clientOrigin;
    std::shared_ptr<RoutineClipboard> m_clipboard = std::make_shared<RoutineClipboard>();
    std::unique_ptr<ImageWindow> m_window;
};

} // namespace

void WindowInlineRun::start(const QString& reportPath, bool keepPreview,
                            std::function<void(bool)> done)
{
    // Started from the event loop, so that even a run that cannot start
    // ends through it.
    auto* run = new WindowRun(reportPath, keepPreview, std::move(done));
    QTimer::singleShot(0, run, [run] { run->start(); });
}

} // namespace kelpie
