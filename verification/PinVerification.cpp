#include "verification/PinVerification.h"

#include "annotation/AnnotationDocument.h"
#include "canvas/AnnotationCanvas.h"
#include "canvas/AnnotationWindow.h"
#include "editor/ImageClipboard.h"
#include "editor/ImageWindow.h"
#include "editor/ImageWindowGeometry.h"
#include "editor/LiveTextOverlay.h"
#include "editor/LiveTextSession.h"
#include "editor/WindowLevel.h"
#include "pin/PinLayout.h"
#include "pin/PinPanel.h"
#include "platform/X11TaskbarHint.h"
#include "text/TextRecognizer.h"
#include "verification/RoutineSteps.h"

#include <QApplication>
#include <QColorSpace>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPalette>
#include <QScreen>
#include <QWindow>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

namespace kelpie {

namespace G = ImageWindowGeometry;
using namespace std::chrono_literals;

namespace {

// The window system keeps whole points; a frame off by less than this is
// where it was asked to be.
constexpr double pointTolerance = 1.0;
constexpr auto windowTimeout = 10s;
// Reading a large fixture on a loaded machine can take a while.
constexpr auto recognitionTimeout = 120s;
// Longer than the chrome's hide grace of 0.18 s, with room for a busy loop.
constexpr auto chromeTimeout = 3s;
constexpr auto settleTime = 150ms;
constexpr auto activationRetry = 500ms;

Rect rectOf(const QRect& r) { return Rect(r.x(), r.y(), r.width(), r.height()); }

Rect primaryLogical()
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    return screens.isEmpty() ? Rect(0, 0, 0, 0) : rectOf(screens.first()->geometry());
}

bool near(double a, double b, double tolerance = pointTolerance)
{
    return std::abs(a - b) <= tolerance;
}

bool sameFrame(const Rect& a, const Rect& b)
{
    return near(a.minX(), b.minX()) && near(a.minY(), b.minY()) && near(a.width(), b.width())
        && near(a.height(), b.height());
}

bool inside(const Rect& frame, const Rect& visible)
{
    return frame.minX() >= visible.minX() - pointTolerance
        && frame.minY() >= visible.minY() - pointTolerance
        && frame.maxX() <= visible.maxX() + pointTolerance
        && frame.maxY() <= visible.maxY() + pointTolerance;
}

// The height a frame of `width` has at the picture's aspect.
double aspectHeight(double width, QSize pixels)
{
    return width * pixels.height() / pixels.width();
}

// A condition on a window's frame that has held for a while: the window
// manager answers geometry requests one after another, and a frame seen
// between two answers may not be the last word.
std::function<bool()> steady(std::function<bool()> holds)
{
    auto since = std::make_shared<std::optional<std::chrono::steady_clock::time_point>>();
    return [holds = std::move(holds), since] {
        const auto now = std::chrono::steady_clock::now();
        if (!holds()) {
            since->reset();
            return false;
        }
        if (!*since)
            *since = now;
        return now - **since >= settleTime;
    };
}

// Whether `window` has the keyboard; until it has, it is raised and asked
// for it again now and then: a window manager may pass over one request
// (its time stamp older than the last user action it saw).
std::function<bool()> activated(std::function<QWidget*()> window)
{
    auto asked = std::make_shared<std::chrono::steady_clock::time_point>();
    return [window = std::move(window), asked] {
        QWidget* target = window();
        if (!target)
            return false;
        if (target->isActiveWindow())
            return true;
        const auto now = std::chrono::steady_clock::now();
        if (now - *asked >= activationRetry) {
            *asked = now;
            target->raise();
            target->activateWindow();
        }
        return false;
    };
}

// The fixture as an 8-bit sRGB picture, the form every composite takes.
QImage asSrgb(const QImage& image)
{
    QImage converted = image.convertToFormat(QImage::Format_ARGB32);
    const QColorSpace srgb(QColorSpace::SRgb);
    if (converted.colorSpace().isValid() && converted.colorSpace() != srgb)
        converted.convertToColorSpace(srgb);
    return converted;
}

// `exported` shows `fixture` pixel for pixel, allowing one step per channel
// for rounding in a colour conversion.
bool showsFixture(const QImage& exported, const QImage& fixture)
{
    if (exported.isNull() || fixture.isNull() || exported.size() != fixture.size())
        return false;
    const QImage a = exported.convertToFormat(QImage::Format_ARGB32);
    const QImage b = asSrgb(fixture);
    for (int y = 0; y < a.height(); ++y) {
        const auto* left = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* right = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            if (std::abs(qRed(left[x]) - qRed(right[x])) > 1
                || std::abs(qGreen(left[x]) - qGreen(right[x])) > 1
                || std::abs(qBlue(left[x]) - qBlue(right[x])) > 1
                || std::abs(qAlpha(left[x]) - qAlpha(right[x])) > 1)
                return false;
        }
    }
    return true;
}

// An ordinary window of this process filled with one colour.
std::unique_ptr<QWidget> plainWindow(const QString& title, const QColor& colour)
{
    auto window = std::make_unique<QWidget>();
    window->setWindowTitle(title);
    window->setAutoFillBackground(true);
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, colour);
    window->setPalette(palette);
    return window;
}

} // namespace

// The pin's outputs land here instead of the system clipboard.
class PinVerification::HeldClipboard final : public ImageClipboard {
public:
    std::vector<QByteArray> pngs;
    QStringList texts;

    Status<ClipboardError> writePng(const QByteArray& png) override
    {
        pngs.push_back(png);
        return Done{};
    }
    Status<ClipboardError> writeText(const QString& text) override
    {
        texts.append(text);
        return Done{};
    }
};

void PinVerification::run(const QImage& image, const QString& reportPath, bool keepPreview,
                          std::shared_ptr<TextRecognizer> recognizer,
                          std::function<void(bool)> done)
{
    // Owns itself: deleted once it has finished and, with a kept preview,
    // once the pin has closed.
    auto* check = new PinVerification(image, reportPath, keepPreview, std::move(recognizer),
                                      std::move(done));
    check->script();
}

PinVerification::PinVerification(const QImage& image, const QString& reportPath,
                                 bool keepPreview, std::shared_ptr<TextRecognizer> recognizer,
                                 std::function<void(bool)> done)
    : m_image(image),
      m_reportPath(reportPath),
      m_keepPreview(keepPreview),
      m_recognizer(std::move(recognizer)),
      m_done(std::move(done)),
      m_clipboard(std::make_shared<HeldClipboard>()),
      m_steps(new RoutineSteps(this))
{
    m_report.setFixtureOnly(true);
    m_report.set("clipboard_written", false);
}

PinVerification::~PinVerification()
{
    if (m_pin) {
        m_pin->onClose = nullptr;
        m_pin->close();
    }
    m_pin.reset();
    if (m_scratch)
        ScratchPreferences::remove(m_scratch->name);
}

QWidget* PinVerification::pinWindow() const { return m_pin ? m_pin->window() : nullptr; }

QWidget* PinVerification::primaryPanel() const
{
    QWidget* window = pinWindow();
    if (!window)
        return nullptr;
    // The primary panel is the one that never takes the keyboard.
    for (PinPanel* panel : window->findChildren<PinPanel*>()) {
        if (!panel->acceptsKey())
            return panel;
    }
    return nullptr;
}

Rect PinVerification::pinFrame() const
{
    QWidget* window = pinWindow();
    return window ? G::desktopRect(rectOf(window->geometry()), primaryLogical()) : Rect();
}

QByteArray PinVerification::exportedPng()
{
    const std::size_t before = m_clipboard->pngs.size();
    m_pin->copy();
    return m_clipboard->pngs.size() > before ? m_clipboard->pngs.back() : QByteArray();
}

void PinVerification::sendKey(int key, const QString& text)
{
    QWidget* target = m_pin->canvas();
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &release);
}

bool PinVerification::open()
{
    if (m_image.isNull()) {
        m_report.notRun("failed", "fixture_missing");
        return false;
    }
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.isEmpty()) {
        m_report.notRun("no_screen");
        return false;
    }
    m_scratch = ScratchPreferences::create(QString::fromLatin1(suitePrefix));
    if (!m_scratch) {
        m_report.notRun("failed", "scratch_settings_unavailable");
        return false;
    }

    // The first display, and where the pin layout places the fixture on it.
    QScreen* first = screens.first();
    const Rect visible = G::desktopRect(rectOf(first->availableGeometry()), primaryLogical());
    m_expectedFrame = PinLayout::frame(Size{double(m_image.width()), double(m_image.height())},
                                       first->devicePixelRatio(), visible, std::nullopt);

    // A kept preview shows the pin over a backdrop as large as the screen.
    if (m_keepPreview) {
        m_backdrop = plainWindow(QStringLiteral("Kelpie · 钉图样本"), QColor(46, 52, 64));
        m_backdrop->setWindowFlag(Qt::FramelessWindowHint);
        m_backdrop->setGeometry(first->geometry());
        m_backdrop->show();
    }
    // An ordinary window over the pin's place, raised over it later.
    const Rect logical = G::logicalRect(m_expectedFrame, primaryLogical());
    m_cover = plainWindow(QStringLiteral("Kelpie · 遮挡样本"), QColor(94, 129, 172));
    m_cover->setGeometry(QRect(qRound(logical.minX()), qRound(logical.minY()),
                               qRound(logical.width()), qRound(logical.height())));
    m_cover->show();

    m_pin = std::make_unique<ImageWindow>(std::make_unique<AnnotationDocument>(m_image), true,
                                          m_scratch->preferences, std::nullopt, m_expectedFrame,
                                          m_clipboard, nullptr, m_recognizer);
    m_pin->onClose = [this] { pinClosed(); };
    return true;
}

void PinVerification::script()
{
    m_steps->then([this] {
        if (!open())
            m_steps->abort();
    });
    m_steps->waitUntil(
        [this] {
            QWidget* window = pinWindow();
            return window && window->isVisible() && window->windowHandle()
                && window->windowHandle()->isExposed();
        },
        windowTimeout,
        [this](bool inTime) {
            m_report.check("pin_window_shown", inTime);
            if (!inTime)
                m_steps->abort();
        });
    m_steps->waitUntil(
        [this] {
            const LiveTextSession* session = m_pin->liveText();
            return !session
                || (!session->recognizing() && m_pin->overlay() && m_pin->overlay()->analysis());
        },
        recognitionTimeout, [this](bool inTime) { checkRecognition(inTime); });
    m_steps->then([this] { checkPlacement(); });
    // Another window of this process is raised over the pin and takes the
    // keyboard; the pin must still be the window at its centre.
    m_steps->waitUntil(activated([this] { return m_cover.get(); }), windowTimeout,
                       [this](bool inTime) { m_report.check("ordinary_window_raised", inTime); });
    m_steps->pause(200ms);
    m_steps->waitUntil(
        [this] {
            QWidget* window = pinWindow();
            return window
                && QApplication::topLevelAt(window->geometry().center()) == window;
        },
        windowTimeout, [this](bool inTime) { checkFloating(inTime); });
    m_steps->then([this] { checkOpacity(); });
    m_steps->then([this] { checkZoom(); });
    // The pin takes the keyboard back: its chrome comes up.
    m_steps->waitUntil(
        [this, active = activated([this] { return pinWindow(); })] {
            QWidget* panel = primaryPanel();
            return active() && panel && panel->isVisible();
        },
        chromeTimeout,
        [this](bool inTime) { m_report.check("chrome_shows_while_pin_is_key", inTime); });
    // Moved while zoomed out, so that it has room to move on any screen.
    m_steps->then([this] { checkChromeFollows(); });
    m_steps->then([this] { zoomBack(); });
    m_steps->then([this] { checkEditing(); });
    // Left as it opened: in its place, without the word of the copies that
    // went to the held clipboard rather than the system's.
    m_steps->then([this] {
        m_pin->setVisibleFrame(G::logicalRect(m_expectedFrame, primaryLogical()));
        m_pin->setStatus(m_pin->contextualStatus());
    });
    m_steps->waitUntil(steady([this] { return sameFrame(pinFrame(), m_expectedFrame); }),
                       windowTimeout, [this](bool inTime) {
                           m_report.check("pin_returns_to_its_place", inTime);
                       });
    m_steps->then([this] {
        if (!m_keepPreview)
            checkClosing();
    });
    m_steps->start([this] { finish(); });
}

void PinVerification::checkRecognition(bool inTime)
{
    // The status has left "正在识别文字…" for what the text allows.
    m_report.check("recognition_finished",
                   inTime && m_pin->liveText() && m_pin->overlay()->analysis()
                       && m_pin->statusText() != LiveTextSession::recognizingStatus());
}

void PinVerification::checkPlacement()
{
    QWidget* window = pinWindow();
    const Rect frame = pinFrame();
    QScreen* first = QGuiApplication::screens().first();
    const Rect visible = G::desktopRect(rectOf(first->availableGeometry()), primaryLogical());
    m_report.check("complete_window_placement",
                   sameFrame(frame, m_expectedFrame) && inside(frame, visible)
                       && window->screen() == first);

    // The canvas covers the window, the picture covers the canvas, and the
    // frame has the picture's aspect, so no edge of the picture is cut or
    // padded; what the canvas paints at its corners is the picture.
    AnnotationCanvas* canvas = m_pin->canvas();
    const Rect content = canvas->model().contentRect();
    const bool canvasFills = canvas->mapTo(window, QPoint(0, 0)) == QPoint(0, 0)
        && canvas->size() == window->size();
    const bool pictureFills = near(content.minX(), 0, 0.5) && near(content.minY(), 0, 0.5)
        && near(content.width(), canvas->width(), 0.5)
        && near(content.height(), canvas->height(), 0.5);
    const bool aspect = near(aspectHeight(frame.width(), m_image.size()), frame.height());
    const QImage painted = canvas->grabAt(1);
    bool cornersPainted = !painted.isNull();
    const int right = painted.width() - 2;
    const int bottom = painted.height() - 2;
    for (const QPoint corner : {QPoint(1, 1), QPoint(right, 1), QPoint(1, bottom),
                                QPoint(right, bottom)}) {
        const QPoint source(corner.x() * (m_image.width() - 1) / std::max(1, painted.width() - 1),
                            corner.y() * (m_image.height() - 1) / std::max(1, painted.height() - 1));
        // Where the picture is opaque, the pin is too.
        if (qAlpha(m_image.pixel(source)) == 255)
            cornersPainted = cornersPainted && qAlpha(painted.pixel(corner)) == 255;
    }
    m_report.check("image_fills_pin", canvasFills && pictureFills && aspect && cornersPainted);
}

void PinVerification::checkFloating(bool inTime)
{
    QWidget* window = pinWindow();
    const Qt::WindowFlags flags = window->windowFlags();
    m_report.check("pin_stays_floating",
                   inTime && WindowLevel::of(window) == WindowLevel::floating
                       && flags.testFlag(Qt::WindowStaysOnTopHint)
                       && flags.testFlag(Qt::FramelessWindowHint) && window->isVisible());
    m_report.check("pin_skips_taskbar", X11TaskbarHint::skipsTaskbar(window));
}

void PinVerification::checkOpacity()
{
    m_firstExport = exportedPng();
    const QImage exported = QImage::fromData(m_firstExport, "PNG");
    m_report.check("export_matches_fixture", showsFixture(exported, m_image));

    m_pin->opacityPreset(50);
    const ImageWindowMenu::State state = m_pin->menuState();
    const bool dimmed = near(pinWindow()->windowOpacity(), 0.5, 0.01) && state.alpha
        && near(*state.alpha, 0.5, 1e-9);
    const QByteArray dimmedExport = exportedPng();
    m_pin->opacityPreset(100);
    m_report.check("view_opacity_does_not_change_export",
                   dimmed && !m_firstExport.isEmpty() && dimmedExport == m_firstExport
                       && near(pinWindow()->windowOpacity(), 1.0, 0.01));
    m_report.check("copy_keeps_pin_open",
                   m_closes == 0 && !m_pin->isClosed() && pinWindow()->isVisible());
}

void PinVerification::checkZoom()
{
    // Half the size (never below the pin's minimum), about the same centre.
    const Rect before = pinFrame();
    const double width
        = std::max(before.width() / 2, double(pinWindow()->minimumWidth()));
    m_pin->zoom(0.5);
    m_steps->waitUntil(
        steady([this, width] { return near(pinFrame().width(), width, 2 * pointTolerance); }),
        windowTimeout, [this, before](bool inTime) {
            const Rect smaller = pinFrame();
            const bool keepsAspect
                = near(aspectHeight(smaller.width(), m_image.size()), smaller.height());
            const bool keepsCentre = near(smaller.midX(), before.midX(), 2 * pointTolerance)
                && near(smaller.midY(), before.midY(), 2 * pointTolerance);
            const bool canvasFollows = m_pin->canvas()->size() == pinWindow()->size();
            const QByteArray zoomedExport = exportedPng();
            m_report.check("zoom_preserves_aspect_and_pixels",
                           inTime && smaller.width() < before.width() && keepsAspect
                               && keepsCentre && canvasFollows && !zoomedExport.isEmpty()
                               && zoomedExport == m_firstExport);
        });
}

void PinVerification::zoomBack()
{
    // Twice the size again (as far as the screen allows), at the picture's
    // aspect: back to the opening size unless zooming out met the minimum.
    const Rect before = pinFrame();
    QScreen* first = QGuiApplication::screens().first();
    const double width = std::min(before.width() * 2, double(first->availableGeometry().width()));
    const double height = aspectHeight(width, m_image.size());
    m_pin->zoom(2);
    m_steps->waitUntil(
        steady([this, width, height] {
            const Rect frame = pinFrame();
            return near(frame.width(), width, 2 * pointTolerance)
                && near(frame.height(), height, 2 * pointTolerance);
        }),
        windowTimeout, [this](bool inTime) { m_report.check("zoom_in_doubles_size", inTime); });
}

void PinVerification::checkEditing()
{
    const bool viewing = !m_pin->editing() && !m_pin->canvas()->model().editingEnabled();
    sendKey(Qt::Key_Space, QStringLiteral(" "));
    const bool editing = m_pin->editing() && m_pin->canvas()->model().editingEnabled();
    sendKey(Qt::Key_Escape, QString());
    const bool back = !m_pin->editing();
    m_report.check("space_starts_editing_and_escape_ends_it", viewing && editing && back);
}

void PinVerification::checkChromeFollows()
{
    QWidget* window = pinWindow();
    QWidget* panel = primaryPanel();
    if (!panel) {
        m_report.check("chrome_follows_pin", false);
        return;
    }
    const QPoint offset = panel->pos() - window->pos();
    // Inward, so the pin layout keeps the move as asked.
    QScreen* first = QGuiApplication::screens().first();
    const QPoint centre = first->availableGeometry().center();
    const QPoint step((window->geometry().center().x() <= centre.x()) ? 24 : -24,
                      (window->geometry().center().y() <= centre.y()) ? 16 : -16);
    const QRect moved = window->geometry().translated(step);
    m_pin->setVisibleFrame(rectOf(moved));
    m_steps->waitUntil(
        steady([window, panel, offset, moved] {
            // At a fractional scale a point may round either way.
            const QPoint frameMiss = window->geometry().topLeft() - moved.topLeft();
            const QPoint offsetMiss = panel->pos() - window->pos() - offset;
            return frameMiss.manhattanLength() <= 2 && offsetMiss.manhattanLength() <= 2
                && std::abs(window->width() - moved.width()) <= 1
                && std::abs(window->height() - moved.height()) <= 1;
        }),
        chromeTimeout, [this, window](bool inTime) {
            m_report.check("chrome_follows_pin", inTime && window->isVisible());
        });
}

void PinVerification::checkClosing()
{
    QWidget* window = pinWindow();
    std::vector<QPointer<QWidget>> parts{window};
    for (PinPanel* panel : window->findChildren<PinPanel*>())
        parts.emplace_back(panel);
    m_pin->close();
    m_steps->waitUntil(
        [this, parts] {
            if (m_closes != 1)
                return false;
            for (const QPointer<QWidget>& part : parts) {
                const QWidget* widget = part.data();
                if (widget && widget->isVisible())
                    return false;
            }
            return true;
        },
        windowTimeout,
        [this](bool inTime) { m_report.check("closing_pin_closes_chrome", inTime); });
}

void PinVerification::pinClosed()
{
    ++m_closes;
    if (!m_keepPreview || !m_finished)
        return;
    // The kept preview ends with its pin: the backdrop and the suite go too.
    m_backdrop.reset();
    if (m_scratch) {
        ScratchPreferences::remove(m_scratch->name);
        m_scratch.reset();
    }
    m_pin->onClose = nullptr;
    m_pin.release()->deleteLater();
    deleteLater();
}

void PinVerification::finish()
{
    m_finished = true;
    const bool succeeded = m_report.conclude(m_reportPath);
    const bool keep = m_keepPreview && m_pin && !m_pin->isClosed();
    m_cover.reset();
    if (!keep) {
        if (m_pin) {
            m_pin->onClose = nullptr;
            m_pin->close();
            m_pin.reset();
        }
        m_backdrop.reset();
        if (m_scratch) {
            ScratchPreferences::remove(m_scratch->name);
            m_scratch.reset();
        }
    }
    if (m_done)
        m_done(succeeded);
    if (!keep)
        deleteLater();
}

} // namespace kelpie
