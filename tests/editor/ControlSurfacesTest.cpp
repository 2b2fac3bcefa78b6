#include "editor/ControlImage.h"
#include "editor/CoreAppearance.h"
#include "editor/CoreSurfaceView.h"
#include "editor/FloatingControls.h"
#include "editor/StyleSlider.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>

#include <gtest/gtest.h>

#include <set>

using namespace kelpie;

TEST(CoreAppearance, CaptureRadiusIsAFifthOfTheShorterSideUpToThirty)
{
    EXPECT_EQ(CoreAppearance::captureRadius(Rect(0, 0, 50, 20)), 4);
    EXPECT_EQ(CoreAppearance::captureRadius(Rect(0, 0, 1000, 800)), 30);
    EXPECT_EQ(CoreAppearance::captureRadius(QRectF(10, 10, -50, 20)), 4);
    const QPainterPath outline = CoreAppearance::captureOutline(QRectF(0, 0, 50, 20));
    EXPECT_EQ(outline.boundingRect(), QRectF(0, 0, 50, 20));
    EXPECT_FALSE(outline.contains(QPointF(0.3, 0.3)));
    EXPECT_TRUE(outline.contains(QPointF(25, 10)));
}

TEST(CoreAppearance, DarkWhenTheWindowColourIsDark)
{
    using CoreAppearance::Appearance;
    EXPECT_EQ(CoreAppearance::appearance(QPalette(QColor(30, 30, 30), QColor(30, 30, 30))),
              Appearance::dark);
    EXPECT_EQ(CoreAppearance::appearance(QPalette(QColor(236, 236, 236), QColor(236, 236, 236))),
              Appearance::light);
    EXPECT_EQ(CoreAppearance::surface.resolved(Appearance::dark),
              QColor::fromRgbF(0.13f, 0.145f, 0.14f));
    EXPECT_EQ(CoreAppearance::captureBorder.resolved(Appearance::light),
              QColor::fromRgbF(0.29f, 0.54f, 0.45f));
    EXPECT_STREQ(CoreAppearance::accent.name, "KelpieAccent");
}

namespace {

QWidget* fixedRow(int width, int height)
{
    auto* row = new QWidget;
    row->setFixedSize(width, height);
    return row;
}

} // namespace

TEST(FloatingControls, CappedPanelGainsAScrollerAndScrollsSideways)
{
    QWidget host;
    host.setAttribute(Qt::WA_DontShowOnScreen);
    auto& controls = *new FloatingControls({fixedRow(300, 30), fixedRow(120, 20)},
                                           FloatingControls::Kind::panel, &host);
    host.resize(600, 200);
    host.show();
    EXPECT_EQ(controls.horizontalPadding(), 16);
    EXPECT_EQ(controls.verticalPadding(), 10);
    const QSizeF free = controls.panelSize(1000);
    // Rows stack with 10 points between them.
    EXPECT_EQ(free, QSizeF(300 + 32, 30 + 10 + 20 + 20));

    const QSizeF capped = controls.panelSize(200);
    const double scroller = controls.scroll()->horizontalScrollBar()->sizeHint().height();
    EXPECT_GT(scroller, 0);
    EXPECT_EQ(capped, QSizeF(200, free.height() + scroller));

    controls.place(QRectF(QPointF(5, 7), capped));
    EXPECT_EQ(controls.geometry(), QRect(5, 7, 200, int(capped.height())));
    EXPECT_EQ(controls.scroll()->geometry(), QRect(16, 10, 168, int(capped.height()) - 20));
    EXPECT_EQ(controls.scroll()->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(controls.stack()->size(), QSize(300, 60));

    // Scrolled to the end, then widened: the position comes back into range.
    controls.scroll()->horizontalScrollBar()->setValue(1000);
    controls.place(QRectF(QPointF(5, 7), free));
    EXPECT_EQ(controls.scroll()->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(controls.scroll()->horizontalScrollBar()->value(), 0);

    FloatingControls primary({fixedRow(100, 30)}, FloatingControls::Kind::primaryToolbar);
    EXPECT_EQ(primary.panelSize(1000), QSizeF(100 + 28, 30 + 12));
}

TEST(FloatingControls, HiddenRowsTakeNoRoom)
{
    QWidget* second = fixedRow(400, 40);
    FloatingControls controls({fixedRow(100, 30), second}, FloatingControls::Kind::panel);
    EXPECT_EQ(controls.panelSize(1000).width(), 432);
    second->hide();
    EXPECT_EQ(controls.panelSize(1000), QSizeF(132, 50));
}

namespace {

void sendMouse(QWidget& widget, QEvent::Type type, QPointF at, Qt::MouseButton button,
               Qt::MouseButtons buttons)
{
    QMouseEvent event(type, at, widget.mapToGlobal(at), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

} // namespace

TEST(StyleSlider, OneDragIsOneBeginAndOneEnd)
{
    StyleSlider slider;
    slider.setRange(1, 80);
    slider.setValue(4);
    slider.resize(105, 24);
    slider.setAttribute(Qt::WA_DontShowOnScreen);
    slider.show();
    std::vector<std::string> calls;
    slider.beginTracking = [&] { calls.push_back("begin"); };
    slider.endTracking = [&] { calls.push_back("end"); };
    QObject::connect(&slider, &QSlider::valueChanged, [&] {
        if (calls.empty() || calls.back() != "change")
            calls.push_back("change");
    });

    sendMouse(slider, QEvent::MouseButtonPress, {5, 12}, Qt::LeftButton, Qt::LeftButton);
    for (int x = 10; x <= 100; x += 10)
        sendMouse(slider, QEvent::MouseMove, {double(x), 12}, Qt::NoButton, Qt::LeftButton);
    sendMouse(slider, QEvent::MouseButtonRelease, {100, 12}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(calls, (std::vector<std::string>{"begin", "change", "end"}));
    EXPECT_GT(slider.value(), 40);

    // Keyboard changes are single steps of their own: no tracking.
    calls.clear();
    slider.triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(calls, (std::vector<std::string>{"change"}));

    // A drag cut short by the window hiding still ends.
    calls.clear();
    sendMouse(slider, QEvent::MouseButtonPress, {50, 12}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_TRUE(slider.isTracking());
    slider.hide();
    EXPECT_EQ(calls.front(), "begin");
    EXPECT_EQ(calls.back(), "end");
    EXPECT_FALSE(slider.isTracking());
}

TEST(CoreSurfaceView, FillsWithTheSurfaceColourOfItsAppearance)
{
    CoreSurfaceView view;
    view.resize(60, 40);
    view.setCornerRadius(20);
    view.setBordered(true);
    auto render = [&] {
        QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        return image;
    };
    EXPECT_EQ(render().pixel(30, 20), CoreAppearance::surface.light.rgb());
    EXPECT_EQ(qAlpha(render().pixel(0, 0)), 0);
    view.setPalette(QPalette(QColor(40, 40, 40), QColor(40, 40, 40)));
    EXPECT_EQ(render().pixel(30, 20), CoreAppearance::surface.dark.rgb());
}

TEST(ControlImage, EverySymbolDrawsSomethingAtAnyScale)
{
    for (const ControlSymbol which : allControlSymbols) {
        const std::string name = roleName(which).toStdString();
        const ControlImage symbol = ControlImage::symbol(which);
        ASSERT_FALSE(symbol.isNull()) << name;
        EXPECT_EQ(symbol.controlSymbol(), which);
        EXPECT_EQ(symbol.withSymbolConfiguration(18, QFont::Medium)->controlSymbol(), which);
        EXPECT_TRUE(symbol.isTemplate());
        for (const double ratio : {1.0, 2.0}) {
            QImage image(QSize(19, 19) * ratio, QImage::Format_ARGB32_Premultiplied);
            image.setDevicePixelRatio(ratio);
            image.fill(Qt::transparent);
            QPainter painter(&image);
            symbol.draw(painter, QRectF(0, 0, 19, 19));
            painter.end();
            int opaque = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    opaque += qAlpha(image.pixel(x, y)) > 200;
            // Solid strokes, not a faint smear; and not a filled box.
            EXPECT_GT(opaque, 8 * ratio * ratio) << name << " at " << ratio;
            EXPECT_LT(opaque, image.width() * image.height() * 0.6) << name;
        }
    }
    EXPECT_TRUE(ControlImage::symbol(ControlSymbol::pin, 0).isNull());
}

TEST(CoreAppearance, MonospacedDigitFontsKeepEveryDigitOneWidthInAnyFamily)
{
    auto digitWidths = [](const QFont& font) {
        const QFontMetricsF metrics(font);
        std::set<int> widths;
        for (char digit = '0'; digit <= '9'; ++digit)
            widths.insert(qRound(metrics.horizontalAdvance(QLatin1Char(digit)) * 100));
        return widths.size();
    };
    EXPECT_EQ(digitWidths(CoreAppearance::monospacedDigitSystemFont(12, QFont::Medium)), 1u);
    // Whatever family the desktop's font is, the digits come out even.
    for (const QString& family : QFontDatabase::families()) {
        QFont font(family);
        font.setPixelSize(12);
        const QFont even = CoreAppearance::withMonospacedDigits(font);
        EXPECT_EQ(digitWidths(even), 1u) << family.toStdString();
        EXPECT_EQ(even.pixelSize(), 12);
    }
}

TEST(CoreAppearance, ChineseTitlesGrowWithTheScreenScale)
{
    // The ink of two Chinese characters drawn at 14 pixels, in device
    // pixels, at 1× and at fractional scales.
    auto inkHeight = [](const QFont& font, double ratio) {
        QImage image(QSize(80, 40) * ratio, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.setFont(font);
            painter.setPen(Qt::black);
            painter.drawText(QRectF(0, 0, 80, 40), Qt::AlignCenter, QStringLiteral("截图"));
        }
        int top = image.height();
        int bottom = -1;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qAlpha(image.pixel(x, y)) > 128) {
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
        return bottom - top + 1;
    };
    for (const QFont& font :
         {CoreAppearance::systemFont(14), CoreAppearance::monospacedSystemFont(14)}) {
        // Hinting rounds each size its own way; the ink must still grow
        // with every step of scale, and double at twice the scale, near enough.
        int previous = inkHeight(font, 1);
        const int plain = previous;
        ASSERT_GT(plain, 8);
        for (const double ratio : {1.25, 1.5, 2.0}) {
            const int ink = inkHeight(font, ratio);
            EXPECT_GT(ink, previous) << ratio;
            previous = ink;
        }
        EXPECT_GE(previous, plain * 1.6);
    }
}

TEST(CoreAppearance, FollowersHearEverySwitchOfTheirAppearance)
{
    QWidget parent;
    auto* child = new QWidget(&parent);
    int refreshes = 0;
    CoreAppearance::followAppearance(child, [&refreshes] { ++refreshes; });

    // The desktop switches its theme: the toolkit tells the application only.
    QEvent theme(QEvent::ThemeChange);
    QApplication::sendEvent(qApp, &theme);
    EXPECT_EQ(refreshes, 1);

    // The application's palette changes.
    const QPalette saved = QApplication::palette();
    const int before = refreshes;
    QApplication::setPalette(QPalette(QColor(30, 30, 30), QColor(30, 30, 30)));
    EXPECT_GT(refreshes, before);
    EXPECT_EQ(CoreAppearance::appearance(child), CoreAppearance::Appearance::dark);
    QApplication::setPalette(saved);

    // A palette set on an ancestor only.
    const int beforeParent = refreshes;
    parent.setPalette(QPalette(QColor(240, 240, 240), QColor(240, 240, 240)));
    EXPECT_GT(refreshes, beforeParent);
}
