// render_pin [DIR]: a pin with its chrome on a real X server, captured from
// the root window, at 1× and 1.5×, light and dark: viewing with the pointer
// over it, editing, and a pin at the top of the screen. Run it under
// tests/support/with-xvfb --wm.

#include "annotation/AnnotationDocument.h"
#include "annotation/AnnotationObject.h"
#include "annotation/AnnotationState.h"
#include "canvas/AnnotationWindow.h"
#include "editor/ImageWindow.h"
#include "settings/AppPreferences.h"
#include "settings/PreferencesStore.h"
#include "tests/support/EventLoopWait.h"
#include "tests/support/RenderAtScales.h"

#include <QApplication>
#include <QDir>
#include <QLinearGradient>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>

#include <cstdio>

using namespace kelpie;

namespace {

// An ordinary window standing in for the desktop behind the pin.
class Wallpaper : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        QLinearGradient gradient(0, 0, width(), height());
        gradient.setColorAt(0, QColor(58, 96, 140));
        gradient.setColorAt(1, QColor(132, 84, 128));
        painter.fillRect(rect(), gradient);
    }
};

QImage sample(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(248, 248, 246));
    QPainter painter(&image);
    painter.fillRect(QRect(0, 0, width, height / 8), QColor(60, 64, 72));
    painter.setPen(QColor(40, 40, 40));
    QFont font;
    font.setPixelSize(height / 14);
    painter.setFont(font);
    painter.drawText(QRect(width / 12, height / 5, width, height / 6), QStringLiteral("钉图 Kelpie 0.18 s"));
    painter.fillRect(QRect(width / 12, height / 2, width / 2, height / 5), QColor(200, 220, 240));
    return image;
}

std::unique_ptr<AnnotationDocument> annotated(const QImage& image)
{
    auto document = std::make_unique<AnnotationDocument>(image);
    const double w = image.width();
    const double h = image.height();
    const auto object = [](AnnotationTool tool, Point a, Point b) {
        return AnnotationObject(tool, AnnotationStyle::initial(tool, 1), a, b);
    };
    AnnotationState state;
    state.objects = {object(AnnotationTool::rectangle, {w * 0.55, h * 0.15}, {w * 0.9, h * 0.45}),
                     object(AnnotationTool::arrow, {w * 0.3, h * 0.2}, {w * 0.55, h * 0.35})};
    document->commit(state);
    return document;
}

void setAppearance(bool dark)
{
    if (dark) {
        QPalette palette(QColor(58, 58, 60), QColor(36, 36, 38));
        palette.setColor(QPalette::WindowText, QColor(236, 236, 238));
        palette.setColor(QPalette::Text, QColor(236, 236, 238));
        palette.setColor(QPalette::ButtonText, QColor(236, 236, 238));
        palette.setColor(QPalette::Base, QColor(30, 30, 32));
        QApplication::setPalette(palette);
    } else {
        QApplication::setPalette(QPalette());
    }
}

void settle()
{
    for (int i = 0; i < 30; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool capture(const QDir& dir, const QString& name)
{
    const QString path = dir.filePath(name);
    settle();
    if (QProcess::execute(QStringLiteral("import"),
                          {QStringLiteral("-window"), QStringLiteral("root"), path})
        != 0) {
        std::fprintf(stderr, "render_pin: could not capture %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

bool pointAt(QPoint global, double ratio)
{
    return test::xdotool({QStringLiteral("mousemove"), QString::number(qRound(global.x() * ratio)),
                          QString::number(qRound(global.y() * ratio))});
}

int render(const QDir& dir)
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    auto preferences = std::make_shared<AppPreferences>(
        PreferencesStore::suite(QStringLiteral("com.kelpie.render-pin.1")));
    QScreen* screen = QGuiApplication::primaryScreen();
    const double ratio = screen->devicePixelRatio();
    const QString suffix = QStringLiteral("-%1x").arg(ratio);
    Wallpaper wallpaper;
    wallpaper.setGeometry(screen->availableGeometry());
    wallpaper.show();
    test::waitFor([&] { return wallpaper.isActiveWindow(); });
    bool ok = true;
    for (const bool dark : {false, true}) {
        setAppearance(dark);
        const QString name = (dark ? QStringLiteral("dark") : QStringLiteral("light")) + suffix;
        {
            ImageWindow pin(annotated(sample(qRound(520 * ratio), qRound(320 * ratio))), true,
                            preferences);
            QWidget* shell = pin.window();
            test::waitFor([&] { return shell->isActiveWindow(); });
            ok &= pointAt(shell->geometry().center(), ratio);
            ok &= capture(dir, QStringLiteral("pin-viewing-%1.png").arg(name));
            pin.toggleEditing();
            ok &= capture(dir, QStringLiteral("pin-editing-%1.png").arg(name));
            pin.setStatus(QStringLiteral("图片已复制"));
            // A panel shown for the first time is mapped and managed first.
            settle();
            ok &= capture(dir, QStringLiteral("pin-status-%1.png").arg(name));
            // At the top of the screen the tool bar moves inside the pin.
            pin.toggleEditing();
            shell->move(shell->x(), screen->availableGeometry().y());
            test::waitFor([&] { return shell->y() == screen->availableGeometry().y(); });
            ok &= pointAt(shell->geometry().center(), ratio);
            ok &= capture(dir, QStringLiteral("pin-top-%1.png").arg(name));
            pin.close();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    // The children draw on the X server this command runs on.
    return test::renderAtScales(
        argc, argv, "render_pin", QStringLiteral("pin-renders"), render, {1.0, 1.5},
        [](QProcessEnvironment& environment, double) {
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
            return true;
        });
}
