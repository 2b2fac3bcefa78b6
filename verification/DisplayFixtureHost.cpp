// kelpie-display-fixture READY_DIR
//
// The display fixture host: a small process of its own that shows the
// display fixture full screen on every screen, then writes
// READY_DIR/display-ready-<pid>.json listing the screens it covers. The
// display check captures those screens through Kelpie's real capture path,
// knowing exactly what must come back. It ends with its parent or on
// SIGTERM.
#include "verification/DisplayFixture.h"
#include "verification/VerificationReport.h"

#include <QApplication>
#include <QDir>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <nlohmann/json.hpp>

#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

using namespace kelpie;

class FixtureWindow final : public QWidget {
public:
    explicit FixtureWindow(QScreen* screen)
    {
        setWindowTitle(DisplayFixture::windowTitle());
        setWindowFlag(Qt::FramelessWindowHint);
        setScreen(screen);
        setGeometry(screen->geometry());
    }

    bool painted() const { return m_painted; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const double scale = devicePixelRatioF();
        const QSize pixels(qRound(width() * scale), qRound(height() * scale));
        if (m_image.size() != pixels) {
            m_image = DisplayFixture::draw(pixels, scale);
            m_image.setDevicePixelRatio(scale);
        }
        QPainter(this).drawImage(0, 0, m_image);
        m_painted = true;
    }

private:
    QImage m_image;
    bool m_painted = false;
};

nlohmann::json screenRecord(const QScreen* screen)
{
    const QRect frame = screen->geometry();
    const double scale = screen->devicePixelRatio();
    return {{"name", screen->name().toStdString()},
            {"x", frame.x()},
            {"y", frame.y()},
            {"width", frame.width()},
            {"height", frame.height()},
            {"scale", scale},
            {"pixel_width", qRound(frame.width() * scale)},
            {"pixel_height", qRound(frame.height() * scale)}};
}

} // namespace

int main(int argc, char** argv)
{
    // Never outlive the check that started us.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: kelpie-display-fixture READY_DIR\n");
        return 2;
    }
    const QString readyDir = QString::fromLocal8Bit(argv[1]);
    std::vector<std::unique_ptr<FixtureWindow>> windows;
    for (QScreen* screen : QGuiApplication::screens()) {
        windows.push_back(std::make_unique<FixtureWindow>(screen));
        windows.back()->show();
    }
    if (windows.empty()) {
        std::fprintf(stderr, "kelpie-display-fixture: no screen\n");
        return 1;
    }
    // Ready once every window has painted; a short settle lets the X server
    // and a compositor put the pixels on screen before anyone reads them.
    QTimer poll;
    int failed = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (const auto& window : windows) {
            if (!window->painted())
                return;
        }
        poll.stop();
        QTimer::singleShot(150, [&] {
            nlohmann::json screens = nlohmann::json::array();
            for (const QScreen* screen : QGuiApplication::screens())
                screens.push_back(screenRecord(screen));
            const nlohmann::json ready{{"pid", qint64(getpid())}, {"screens", screens}};
            const QString path = QDir(readyDir).filePath(
                QStringLiteral("display-ready-%1.json").arg(qint64(getpid())));
            const auto written = writeReportAtomically(path, ready.dump(2) + '\n');
            if (!written) {
                std::fprintf(stderr, "kelpie-display-fixture: %s\n", written.failure().detail.c_str());
                failed = 1;
                QApplication::exit(1);
            }
        });
    });
    poll.start(20);
    const int status = QApplication::exec();
    return failed ? failed : status;
}
