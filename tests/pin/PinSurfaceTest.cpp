#include "pin/PinSurface.h"

#include "editor/CoreAppearance.h"

#include <QApplication>
#include <QEnterEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <vector>

using namespace kelpie;

namespace {

QImage grab(QWidget& widget)
{
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

QPalette darkPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(30, 30, 30));
    palette.setColor(QPalette::Base, QColor(30, 30, 30));
    return palette;
}

} // namespace

TEST(PinSurface, ReportsEveryLayoutPass)
{
    PinSurface surface;
    surface.setAttribute(Qt::WA_DontShowOnScreen);
    int passes = 0;
    surface.onLayout = [&] { ++passes; };
    surface.resize(200, 100);
    surface.show();
    QApplication::processEvents();
    const int afterShow = passes;
    EXPECT_GE(afterShow, 1);

    surface.resize(300, 150);
    EXPECT_EQ(passes, afterShow + 1);

    // A child asking for a new layout is a layout pass too.
    auto* layout = new QVBoxLayout(&surface);
    layout->addWidget(new QWidget);
    QApplication::processEvents();
    EXPECT_GT(passes, afterShow + 1);
}

TEST(PinSurface, ReportsEnterAndLeaveOnce)
{
    PinSurface surface;
    std::vector<bool> hovers;
    surface.onHover = [&](bool inside) { hovers.push_back(inside); };
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&surface, &enter);
    QApplication::sendEvent(&surface, &enter);
    EXPECT_TRUE(surface.hovered());
    QApplication::sendEvent(&surface, &leave);
    QApplication::sendEvent(&surface, &leave);
    EXPECT_EQ(hovers, (std::vector<bool>{true, false}));
}

TEST(PinSurface, PaintsTheSurfaceColourOnlyWhenAsked)
{
    PinSurface surface;
    surface.resize(40, 30);
    EXPECT_FALSE(surface.paintsBackground());
    EXPECT_EQ(grab(surface).pixelColor(20, 15).alpha(), 0);

    surface.setPaintsBackground(true);
    const QColor light = CoreAppearance::surface.resolved(CoreAppearance::Appearance::light);
    EXPECT_EQ(grab(surface).pixel(20, 15), light.rgb());
}

TEST(PinSurface, RedrawsWhenTheAppearanceChanges)
{
    QWidget host;
    host.setAttribute(Qt::WA_DontShowOnScreen);
    auto* surface = new PinSurface(&host);
    surface->setPaintsBackground(true);
    surface->resize(40, 30);
    host.resize(40, 30);
    host.show();
    QApplication::processEvents();

    int repaints = 0;
    struct Counter : QObject {
        int* count;
        explicit Counter(int* c) : count(c) { }
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Paint)
                ++*count;
            return false;
        }
    } counter(&repaints);
    surface->installEventFilter(&counter);

    // The desktop's theme switching is announced without a palette change.
    QEvent themeChange(static_cast<QEvent::Type>(CoreAppearance::appearanceChangeEventType()));
    QApplication::sendEvent(surface, &themeChange);
    QApplication::processEvents();
    EXPECT_GT(repaints, 0);

    host.setPalette(darkPalette());
    const QColor dark = CoreAppearance::surface.resolved(CoreAppearance::Appearance::dark);
    EXPECT_EQ(grab(*surface).pixel(20, 15), dark.rgb());
}
