#include "verification/WindowCaptureVerification.h"

#include "capture/CaptureService.h"
#include "verification/DisplayFixture.h"
#include "verification/RoutineSteps.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>
#include <QWidget>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kelpie {

namespace {

constexpr std::chrono::milliseconds relist{50};
// Per channel: the window system keeps the pixels, but a colour conversion
// on the way may move a channel by a step or two.
constexpr int tolerance = 4;
// The fixture window covers at most this share of the available area.
constexpr double largestShare = 0.6;

// A window that shows an image one image pixel per device pixel.
class FixtureView final : public QWidget {
public:
    explicit FixtureView(QImage image)
        : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), m_image(std::move(image))
    {
        setWindowTitle(WindowCaptureVerification::windowTitle());
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
    bool painted() const { return m_painted; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QImage image = m_image;
        image.setDevicePixelRatio(devicePixelRatioF());
        QPainter(this).drawImage(0, 0, image);
        m_painted = true;
    }

private:
    QImage m_image;
    bool m_painted = false;
};

// A window of one solid colour that lies over the fixture window.
class CoverView final : public QWidget {
public:
    static QColor color() { return QColor(0xff, 0x00, 0xff); }
    CoverView() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
    {
        setWindowTitle(WindowCaptureVerification::windowTitle());
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
    bool painted() const { return m_painted; }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPainter(this).fillRect(event->rect(), color());
        m_painted = true;
    }

private:
    bool m_painted = false;
};

bool similar(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance
        && std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// Paints a square of a distinct colour into each corner, large enough that
// the comparison's grid samples each one: a fixture of greys alone would
// not show red and blue trading places on the way.
void markCorners(QImage& image)
{
    const int side = std::max(image.width(), image.height()) / 24 + 2;
    const std::array<QPoint, 4> corners{QPoint(0, 0), QPoint(image.width() - side, 0),
                                        QPoint(image.width() - side, image.height() - side),
                                        QPoint(0, image.height() - side)};
    QPainter painter(&image);
    for (std::size_t i = 0; i < corners.size(); ++i)
        painter.fillRect(QRect(corners[i], QSize(side, side)), DisplayFixture::cornerColors[i]);
}

int evenFloor(double value) { return std::max(0, int(std::floor(value / 2)) * 2); }

bool isMissing(const std::optional<WindowCapture::Outcome>& outcome)
{
    return outcome && !outcome->ok() && outcome->error() == CaptureError::missing;
}

// Index of a window in the listing's front-to-back order, -1 when absent.
int placeOf(const ShareableContent& content, std::uint32_t id)
{
    for (std::size_t i = 0; i < content.windows.size(); ++i) {
        if (content.windows[i].windowID == id)
            return int(i);
    }
    return -1;
}

} // namespace

QString WindowCaptureVerification::windowTitle() { return QStringLiteral("Kelpie · 窗口样本"); }

void WindowCaptureVerification::run(std::shared_ptr<CaptureService> service, const QImage& fixture,
                                    const QString& reportPath, std::function<void(bool)> done,
                                    Options options)
{
    auto* check = new WindowCaptureVerification(std::move(service), fixture, reportPath,
                                                std::move(done), std::move(options));
    // From the event loop, so that `done` never runs before run() returns.
    QTimer::singleShot(0, check, [check] { check->script(); });
}

WindowCaptureVerification::Comparison WindowCaptureVerification::compare(const QImage& captured,
                                                                         const QImage& expected,
                                                                         const QRect& cover)
{
    Comparison result;
    result.sameSize = !captured.isNull() && captured.size() == expected.size();
    if (!result.sameSize)
        return result;
    const QImage a = captured.convertToFormat(QImage::Format_RGB32);
    const QImage b = expected.convertToFormat(QImage::Format_RGB32);
    bool matches = true;
    auto sample = [&](int x, int y) {
        ++result.samples;
        if (cover.contains(x, y))
            ++result.sampledCovered;
        if (!similar(a.pixel(x, y), b.pixel(x, y)))
            matches = false;
    };
    // A grid over the whole image, and a finer one under the cover.
    constexpr int grid = 24;
    for (int j = 0; j < grid; ++j) {
        for (int i = 0; i < grid; ++i)
            sample(int((i + 0.5) * a.width() / grid), int((j + 0.5) * a.height() / grid));
    }
    const QRect under = cover.intersected(a.rect());
    constexpr int fine = 8;
    for (int j = 0; !under.isEmpty() && j < fine; ++j) {
        for (int i = 0; i < fine; ++i) {
            sample(under.left() + int((i + 0.5) * under.width() / fine),
                   under.top() + int((j + 0.5) * under.height() / fine));
        }
    }
    result.matches = matches && result.samples > 0;
    return result;
}

WindowCaptureVerification::WindowCaptureVerification(std::shared_ptr<CaptureService> service,
                                                     const QImage& fixture, QString reportPath,
                                                     std::function<void(bool)> done,
                                                     Options options)
    : m_service(std::move(service)), m_fixture(fixture), m_reportPath(std::move(reportPath)),
      m_done(std::move(done)), m_options(std::move(options)), m_steps(new RoutineSteps(this))
{
}

WindowCaptureVerification::~WindowCaptureVerification()
{
    closeWindows();
    if (m_other && m_other->state() != QProcess::NotRunning) {
        m_other->terminate();
        if (!m_other->waitForFinished(2000)) {
            m_other->kill();
            m_other->waitForFinished(2000);
        }
    }
}

void WindowCaptureVerification::script()
{
    m_report.setFixtureOnly(true);
    if (!m_service || !m_service->hasAccess()) {
        m_report.notRun("skipped", "existing_authorization_missing");
        return finish();
    }
    const std::int32_t self = m_service->processId();

    // 1. This process's window, covered in its middle by another of ours.
    m_steps->then([this] { showWindows(); });
    m_steps->waitUntil(
        [this] {
            const auto* source = static_cast<const FixtureView*>(m_source.data());
            const auto* cover = static_cast<const CoverView*>(m_cover.data());
            return source && cover && source->painted() && cover->painted();
        },
        m_options.patience);
    auto lastFrame = std::make_shared<std::optional<Rect>>();
    scriptListing(
        [this, self, lastFrame](const ShareableContent& content) {
            const ShareableContent::Window* source = content.window(m_sourceID);
            const ShareableContent::Window* cover = content.window(m_coverID);
            if (!source || !cover || !source->onScreen || source->ownerPID != self)
                return false;
            // The same frame twice running: the window manager has placed it.
            const bool settled = *lastFrame == source->nativeFrame;
            *lastFrame = source->nativeFrame;
            return settled && int(source->nativeFrame.width()) == m_fixture.width()
                && int(source->nativeFrame.height()) == m_fixture.height();
        },
        [](bool) {});
    scriptCapture([this, self] { return std::pair{m_sourceID, self}; },
                  [this](const std::optional<WindowCapture::Outcome>& outcome) {
                      checkOwnCapture(outcome);
                  });

    // 2. A window of another process, and owners swapped.
    m_steps->then([this] { startOtherOwner(); });
    scriptListing(
        [this](const ShareableContent& content) {
            if (!m_otherPID)
                return true;
            for (const ShareableContent::Window& window : content.windows) {
                if (window.onScreen && window.ownerPID == m_otherPID) {
                    m_otherID = window.windowID;
                    return true;
                }
            }
            return false;
        },
        [this](bool) {
            if (!m_otherPID || m_otherID == 0) {
                std::fputs("The window-capture check saw no window of another process.\n", stderr);
                m_wrongOwnerRejected = false;
            }
        });
    scriptCapture([this, self] { return std::pair{m_otherID, self}; },
                  [this](const std::optional<WindowCapture::Outcome>& outcome) {
                      m_wrongOwnerRejected = m_wrongOwnerRejected && isMissing(outcome);
                  });
    scriptCapture([this] { return std::pair{m_coverID, m_otherPID.value_or(0)}; },
                  [this](const std::optional<WindowCapture::Outcome>& outcome) {
                      m_wrongOwnerRejected = m_wrongOwnerRejected && isMissing(outcome);
                  });
    m_steps->then([this] { m_report.check("wrong_owner_rejected", m_wrongOwnerRejected); });

    // 3. The cover hidden, the source destroyed.
    m_steps->then([this] {
        if (QWidget* cover = m_cover.data())
            cover->hide();
        delete m_source.data();
    });
    scriptListing(
        [this](const ShareableContent& content) {
            const ShareableContent::Window* cover = content.window(m_coverID);
            return !content.window(m_sourceID) && (!cover || !cover->onScreen);
        },
        [](bool) {});
    scriptCapture([this, self] { return std::pair{m_sourceID, self}; },
                  [this](const std::optional<WindowCapture::Outcome>& outcome) {
                      m_closedRejected = m_closedRejected && isMissing(outcome);
                  });
    scriptCapture([this, self] { return std::pair{m_coverID, self}; },
                  [this](const std::optional<WindowCapture::Outcome>& outcome) {
                      m_closedRejected = m_closedRejected && isMissing(outcome);
                  });
    m_steps->then([this] { m_report.check("closed_window_rejected", m_closedRejected); });
    m_steps->start([this] { finish(); });
}

// The fixture window, sized to the fixture in device pixels (at most a share
// of the screen, in even points so that every scale maps it to whole
// pixels), and the cover over its middle third.
void WindowCaptureVerification::showWindows()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen || m_fixture.isNull())
        return;
    const double scale = screen->devicePixelRatio();
    const QRect available = screen->availableGeometry();
    const int width = evenFloor(std::min(m_fixture.width() / scale, available.width() * largestShare));
    const int height
        = evenFloor(std::min(m_fixture.height() / scale, available.height() * largestShare));
    if (width < 24 || height < 24)
        return;
    m_fixture = m_fixture.copy(0, 0, int(std::lround(width * scale)), int(std::lround(height * scale)))
                    .convertToFormat(QImage::Format_RGB32);
    markCorners(m_fixture);

    const QRect sourceFrame(available.topLeft() + QPoint(40, 40), QSize(width, height));
    auto* source = new FixtureView(m_fixture);
    source->setGeometry(sourceFrame);
    source->show();
    m_source = source;
    m_sourceID = std::uint32_t(source->winId());

    const QRect coverFrame(sourceFrame.topLeft() + QPoint(evenFloor(width / 3.0), evenFloor(height / 3.0)),
                           QSize(evenFloor(width / 3.0), evenFloor(height / 3.0)));
    auto* cover = new CoverView;
    cover->setGeometry(coverFrame);
    cover->show();
    cover->raise();
    m_cover = cover;
    m_coverID = std::uint32_t(cover->winId());
    const QPoint offset = coverFrame.topLeft() - sourceFrame.topLeft();
    m_coverInSource = QRect(int(std::lround(offset.x() * scale)), int(std::lround(offset.y() * scale)),
                            int(std::lround(coverFrame.width() * scale)),
                            int(std::lround(coverFrame.height() * scale)));
}

void WindowCaptureVerification::scriptListing(std::function<bool(const ShareableContent&)> ready,
                                              std::function<void(bool)> after)
{
    struct Listing {
        std::function<bool(const ShareableContent&)> ready;
        std::function<void(bool)> after;
        std::chrono::steady_clock::time_point deadline;
        QFuture<CaptureService::Result<ShareableContent>> future;
        std::function<void()> ask;
    };
    auto listing = std::make_shared<Listing>();
    listing->ready = std::move(ready);
    listing->after = std::move(after);
    std::weak_ptr<Listing> weak = listing;
    // Asks, waits for the answer, and asks again a little later until the
    // listing is as wanted or the time is up. Each round adds its steps
    // right after the running one.
    listing->ask = [this, weak] {
        const std::shared_ptr<Listing> self = weak.lock();
        if (!self)
            return;
        self->future = m_service->shareableContent();
        m_steps->waitUntil([self] { return self->future.isFinished(); }, m_options.patience)
            .then([this, self] {
                const bool answered = self->future.isFinished() && self->future.resultCount() > 0
                    && self->future.result().ok();
                if (answered) {
                    m_listing = self->future.result().value();
                    if (self->ready(*m_listing))
                        return self->after(true);
                }
                if (std::chrono::steady_clock::now() >= self->deadline)
                    return self->after(false);
                // Held by the step, so the listing lives until it asks again.
                m_steps->pause(relist).then([self] { self->ask(); });
            });
    };
    m_steps->then([this, listing] {
        listing->deadline = std::chrono::steady_clock::now() + m_options.patience;
        listing->ask();
    });
}

void WindowCaptureVerification::scriptCapture(
    std::function<std::pair<std::uint32_t, std::int32_t>()> target,
    std::function<void(const std::optional<WindowCapture::Outcome>&)> after)
{
    auto future = std::make_shared<QFuture<WindowCapture::Outcome>>();
    m_steps->then([this, target, future] {
        const auto [id, owner] = target();
        *future = WindowCapture::captureSnapshot(m_service, id, owner);
    });
    m_steps->waitUntil([future] { return future->isFinished(); }, m_options.patience)
        .then([future, after] {
            std::optional<WindowCapture::Outcome> outcome;
            if (future->isFinished() && future->resultCount() > 0)
                outcome = future->result();
            after(outcome);
        });
}

void WindowCaptureVerification::checkOwnCapture(const std::optional<WindowCapture::Outcome>& outcome)
{
    const QWidget* source = m_source.data();
    const bool captured = outcome && outcome->ok() && source;
    Comparison comparison;
    bool placed = false;
    if (captured) {
        comparison = compare(outcome->value().image, m_fixture, m_coverInSource);
        // Quartz global space is the toolkit's global space when the
        // primary screen starts at the origin: y down, in points.
        const Rect& frame = outcome->value().quartzFrame;
        const QRect geometry = source->geometry();
        placed = std::abs(frame.minX() - geometry.x()) <= 1
            && std::abs(frame.minY() - geometry.y()) <= 1
            && std::abs(frame.width() - geometry.width()) <= 1
            && std::abs(frame.height() - geometry.height()) <= 1;
    } else if (outcome && !outcome->ok()) {
        std::fprintf(stderr, "The window-capture check could not capture its window: %s\n",
                     outcome->failure().detail.c_str());
    }
    // The cover must really have been in front of the source for the
    // second check to mean anything.
    bool covered = false;
    if (m_listing) {
        const int sourcePlace = placeOf(*m_listing, m_sourceID);
        const int coverPlace = placeOf(*m_listing, m_coverID);
        const ShareableContent::Window* sourceWindow = m_listing->window(m_sourceID);
        const ShareableContent::Window* coverWindow = m_listing->window(m_coverID);
        covered = sourceWindow && coverWindow && coverPlace >= 0 && coverPlace < sourcePlace
            && sourceWindow->nativeFrame.intersects(coverWindow->nativeFrame);
    }
    m_report.check("actual_system_window_capture",
                   captured && comparison.sameSize && comparison.matches && placed);
    m_report.check("source_owner_only",
                   captured && comparison.matches && comparison.sampledCovered > 0 && covered);
}

void WindowCaptureVerification::startOtherOwner()
{
    QString program = m_options.otherOwnerProgram;
    QStringList arguments = m_options.otherOwnerArguments;
    if (program.isEmpty()) {
        program = QStandardPaths::findExecutable(QStringLiteral("xmessage"));
        arguments = {QStringLiteral("-geometry"), QStringLiteral("+80+80"),
                     QStringLiteral("Kelpie window capture: another owner")};
    }
    if (program.isEmpty())
        return;
    m_other = new QProcess(this);
    m_other->setProgram(program);
    m_other->setArguments(arguments);
    m_other->setStandardOutputFile(QProcess::nullDevice());
    m_other->setStandardErrorFile(QProcess::nullDevice());
    m_other->start();
    if (m_other->waitForStarted(int(m_options.patience.count())))
        m_otherPID = std::int32_t(m_other->processId());
}

void WindowCaptureVerification::closeWindows()
{
    delete m_source.data();
    delete m_cover.data();
}

void WindowCaptureVerification::finish()
{
    closeWindows();
    const bool passed = m_report.conclude(m_reportPath);
    auto done = std::move(m_done);
    deleteLater();
    if (done)
        done(passed);
}

} // namespace kelpie
