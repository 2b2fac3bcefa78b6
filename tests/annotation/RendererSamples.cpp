#include "RendererSamples.h"

#include "annotation/AnnotationStyle.h"
#include "annotation/AnnotationTextLayout.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>

#include <cmath>
#include <iterator>
#include <numbers>
#include <random>

namespace kelpie::test {

namespace {

QFont pixelFont(int pixels, bool bold = false)
{
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

// Lays out sample objects in top-down terms on an image `height` high.
struct Layout {
    double height;
    Point at(double x, double yFromTop) const { return {x, height - yFromTop}; }
};

AnnotationObject shape(AnnotationTool tool, const AnnotationStyle& style, Point a, Point b)
{
    return AnnotationObject(tool, style, a, b);
}

AnnotationObject path(AnnotationTool tool, const AnnotationStyle& style, QList<Point> points)
{
    const Point first = points.front();
    const Point last = points.back();
    return AnnotationObject(tool, style, first, last, std::move(points));
}

} // namespace

QImage sampleScreenshot(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient desktop(0, 0, size.width(), size.height());
    desktop.setColorAt(0, QColor(58, 96, 140));
    desktop.setColorAt(1, QColor(140, 82, 120));
    p.fillRect(image.rect(), desktop);

    // A window with a title bar, a sidebar and a content pane.
    const QRect window = image.rect().adjusted(size.width() / 20, size.height() / 14,
                                               -size.width() / 20, -size.height() / 14);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(248, 248, 246));
    p.drawRoundedRect(window, 10, 10);
    p.setBrush(QColor(226, 228, 232));
    p.drawRect(QRect(window.left(), window.top() + 8, window.width(), 30));
    p.drawRoundedRect(QRect(window.left(), window.top(), window.width(), 38), 10, 10);
    const QColor lights[] = {QColor(236, 95, 90), QColor(245, 190, 80), QColor(98, 196, 86)};
    for (int i = 0; i < 3; ++i) {
        p.setBrush(lights[i]);
        p.drawEllipse(QPointF(window.left() + 20 + i * 22, window.top() + 19), 6.5, 6.5);
    }
    p.setPen(QColor(60, 60, 66));
    p.setFont(pixelFont(15, true));
    p.drawText(QRect(window.left(), window.top(), window.width(), 38), Qt::AlignCenter,
               QStringLiteral("季度报告 — Quarterly report.xlsx"));

    const QRect sidebar(window.left(), window.top() + 38, window.width() / 5, window.height() - 38);
    p.fillRect(sidebar, QColor(237, 239, 243));
    p.setFont(pixelFont(14));
    const QStringList items = {QStringLiteral("收件箱 Inbox"), QStringLiteral("已发送 Sent"),
                               QStringLiteral("草稿 Drafts"), QStringLiteral("归档 Archive"),
                               QStringLiteral("垃圾箱 Trash")};
    for (int i = 0; i < items.size(); ++i)
        p.drawText(sidebar.left() + 18, sidebar.top() + 36 + i * 30, items[i]);

    // Content: text lines, a coloured chart and a striped table.
    const int left = sidebar.right() + 30;
    p.setPen(QColor(30, 30, 34));
    p.setFont(pixelFont(22, true));
    p.drawText(left, window.top() + 80, QStringLiteral("客户账户信息 Customer account"));
    p.setFont(pixelFont(15));
    const QStringList lines = {QStringLiteral("姓名 Name: 张伟 Zhang Wei"),
                               QStringLiteral("账号 Account: 6222 0210 1234 5678 901"),
                               QStringLiteral("邮箱 E-mail: zhang.wei@example.com"),
                               QStringLiteral("电话 Phone: +86 138 0013 8000"),
                               QStringLiteral("地址 Address: 北京市朝阳区建国路 88 号")};
    for (int i = 0; i < lines.size(); ++i)
        p.drawText(left, window.top() + 120 + i * 28, lines[i]);

    const int chartTop = window.top() + 280;
    const int chartBottom = window.bottom() - 40;
    const QColor bars[]
        = {QColor(66, 133, 244), QColor(219, 68, 55), QColor(244, 180, 0), QColor(15, 157, 88)};
    for (int i = 0; i < 12; ++i) {
        const double h
            = (0.35 + 0.6 * std::abs(std::sin(i * 0.9 + 0.4))) * (chartBottom - chartTop);
        p.fillRect(QRectF(left + i * 34, chartBottom - h, 24, h), bars[i % 4]);
    }
    const int tableLeft = left + 12 * 34 + 30;
    for (int r = 0; r < 14; ++r) {
        const QRect row(tableLeft, chartTop + r * 24, window.right() - tableLeft - 20, 24);
        p.fillRect(row, r % 2 ? QColor(255, 255, 255) : QColor(232, 240, 252));
        p.setPen(QColor(50, 50, 50));
        p.setFont(pixelFont(13));
        p.drawText(row.adjusted(8, 0, 0, 0), Qt::AlignVCenter,
                   QStringLiteral("订单 #%1   ¥ %2").arg(10240 + r).arg(1280 + r * 37));
    }
    return image;
}

QList<AnnotationObject> sampleObjects(QSize size)
{
    const Layout at{static_cast<double>(size.height())};
    const double s = AnnotationStyle::defaultScale(
        Size{double(size.width()), double(size.height())}, size.width() / 1.5);
    QList<AnnotationObject> objects;

    // Shapes.
    AnnotationStyle rectangle = AnnotationStyle::initial(AnnotationTool::rectangle, s);
    objects.append(shape(AnnotationTool::rectangle, rectangle, at.at(296, 150), at.at(760, 294)));
    AnnotationStyle filled = rectangle;
    filled.color = AnnotationColor::palette[4];
    filled.filled = true;
    filled.fillOpacity = 0.3;
    objects.append(shape(AnnotationTool::rectangle, filled, at.at(900, 355), at.at(1110, 450)));
    AnnotationStyle ellipse = AnnotationStyle::initial(AnnotationTool::ellipse, s);
    ellipse.color = AnnotationColor::palette[3];
    ellipse.dashed = true;
    objects.append(shape(AnnotationTool::ellipse, ellipse, at.at(290, 330), at.at(460, 420)));

    // Arrows: straight filled, curved open, double-headed, and a line.
    AnnotationStyle arrow = AnnotationStyle::initial(AnnotationTool::arrow, s);
    arrow.arrowHead = ArrowHead::filled;
    objects.append(shape(AnnotationTool::arrow, arrow, at.at(150, 560), at.at(292, 398)));
    AnnotationStyle curved = AnnotationStyle::initial(AnnotationTool::arrow, s);
    curved.curvedArrow = true;
    curved.color = AnnotationColor::palette[5];
    AnnotationObject bent = shape(AnnotationTool::arrow, curved, at.at(560, 560), at.at(800, 330));
    bent.applyPresetCurve(Size{double(size.width()), double(size.height())});
    objects.append(bent);
    AnnotationStyle both = AnnotationStyle::initial(AnnotationTool::arrow, s);
    both.arrowHead = ArrowHead::double_;
    both.color = AnnotationColor::palette[1];
    objects.append(shape(AnnotationTool::arrow, both, at.at(860, 480), at.at(1110, 480)));
    AnnotationStyle line = AnnotationStyle::initial(AnnotationTool::line, s);
    line.color = AnnotationColor::palette[4];
    line.dashed = true;
    objects.append(shape(AnnotationTool::line, line, at.at(300, 300), at.at(760, 300)));

    // Freehand: a wavy pen stroke, a highlight over a line of text, a dot.
    QList<Point> wave;
    for (int i = 0; i <= 40; ++i)
        wave.append(at.at(140 + i * 12, 640 + 22 * std::sin(i * std::numbers::pi / 8)));
    AnnotationStyle pen = AnnotationStyle::initial(AnnotationTool::pen, s);
    pen.color = AnnotationColor::palette[3];
    objects.append(path(AnnotationTool::pen, pen, wave));
    objects.append(path(AnnotationTool::pen, pen, {at.at(110, 700)}));
    AnnotationStyle highlight = AnnotationStyle::initial(AnnotationTool::highlight, s);
    objects.append(path(AnnotationTool::highlight, highlight,
                        {at.at(300, 200), at.at(560, 199), at.at(600, 200)}));

    // Text: plain and on a background box, Latin and Chinese.
    const auto textAt = [&](QString content, const AnnotationStyle& style, Point topLeft,
                            double wrap) {
        const Size box = AnnotationTextLayout::size(content, style, wrap);
        return AnnotationObject(AnnotationTool::text, style, {topLeft.x, topLeft.y - box.height},
                                {topLeft.x + box.width, topLeft.y}, {}, 0, std::move(content),
                                wrap);
    };
    AnnotationStyle text = AnnotationStyle::initial(AnnotationTool::text, s);
    objects.append(textAt(QStringLiteral("核对账号后再转账。Check the account number before "
                                         "paying."),
                          text, at.at(790, 140), 340));
    AnnotationStyle note = text;
    note.bold = true;
    note.textBackground = true;
    note.color = AnnotationColor::palette[6];
    objects.append(textAt(QStringLiteral("请在这里签字\nSign here"), note, at.at(84, 300), 200));

    // Number badges, one and two digits.
    AnnotationStyle number = AnnotationStyle::initial(AnnotationTool::number, s);
    const double badge = 34;
    const auto badgeAt = [&](Point centre, std::int64_t n) {
        return AnnotationObject(AnnotationTool::number, number,
                                {centre.x - badge / 2, centre.y - badge / 2},
                                {centre.x + badge / 2, centre.y + badge / 2}, {}, n);
    };
    objects.append(badgeAt(at.at(296, 150), 1));
    objects.append(badgeAt(at.at(462, 336), 2));
    objects.append(badgeAt(at.at(890, 340), 12));

    // Masks: solid, pixelate, blur, two overlapping pixelates, brush masks.
    AnnotationStyle mask = AnnotationStyle::initial(AnnotationTool::mask, s);
    AnnotationStyle solid = mask;
    objects.append(shape(AnnotationTool::mask, solid, at.at(408, 160), at.at(640, 184)));
    AnnotationStyle pixelate = mask;
    pixelate.maskEffect = MaskEffect::pixelate;
    pixelate.maskStrength = 10;
    objects.append(shape(AnnotationTool::mask, pixelate, at.at(422, 190), at.at(700, 212)));
    AnnotationStyle blur = mask;
    blur.maskEffect = MaskEffect::blur;
    blur.maskStrength = 12;
    objects.append(shape(AnnotationTool::mask, blur, at.at(412, 217), at.at(700, 240)));
    AnnotationStyle coarse = pixelate;
    coarse.maskStrength = 24;
    objects.append(shape(AnnotationTool::mask, coarse, at.at(330, 430), at.at(520, 560)));
    objects.append(shape(AnnotationTool::mask, pixelate, at.at(450, 500), at.at(610, 600)));
    AnnotationStyle brush = blur;
    brush.maskBrush = true;
    brush.maskStrength = 20;
    QList<Point> stroke;
    for (int i = 0; i <= 20; ++i)
        stroke.append(at.at(790 + i * 15, 600 + 24 * std::sin(i * 0.4)));
    objects.append(path(AnnotationTool::mask, brush, stroke));
    AnnotationStyle brushPixelate = pixelate;
    brushPixelate.maskBrush = true;
    brushPixelate.maskStrength = 8;
    objects.append(path(AnnotationTool::mask, brushPixelate, {at.at(440, 255), at.at(600, 255)}));
    return objects;
}

QList<AnnotationObject> mixedShapes(QSize size, int count)
{
    QList<AnnotationObject> objects;
    const double w = size.width();
    const double h = size.height();
    for (int i = 0; i < count; ++i) {
        // Spread over the image on a fixed, irregular pattern.
        const double u = std::fmod(0.137 + i * 0.618034, 1.0);
        const double v = std::fmod(0.291 + i * 0.414214, 1.0);
        const Point a{u * w * 0.8, v * h * 0.8};
        const Point b{a.x + w * (0.08 + 0.1 * std::fmod(i * 0.37, 1.0)),
                      a.y + h * (0.08 + 0.1 * std::fmod(i * 0.53, 1.0))};
        AnnotationStyle style = AnnotationStyle::initial(AnnotationTool::rectangle, 2);
        style.color = AnnotationColor::palette[static_cast<std::size_t>(i % 6)];
        switch (i % 10) {
        case 0: objects.append(shape(AnnotationTool::rectangle, style, a, b)); break;
        case 1:
            style.filled = true;
            style.fillOpacity = 0.5;
            objects.append(shape(AnnotationTool::rectangle, style, a, b));
            break;
        case 2:
            style.dashed = true;
            objects.append(shape(AnnotationTool::ellipse, style, a, b));
            break;
        case 3: objects.append(shape(AnnotationTool::line, style, a, b)); break;
        case 4: objects.append(shape(AnnotationTool::arrow, style, a, b)); break;
        case 5: {
            style.curvedArrow = true;
            style.arrowHead = ArrowHead::double_;
            AnnotationObject arrow = shape(AnnotationTool::arrow, style, a, b);
            arrow.applyPresetCurve(Size{w, h});
            objects.append(arrow);
            break;
        }
        case 6:
        case 7: {
            QList<Point> points;
            for (int k = 0; k <= 60; ++k)
                points.append({a.x + (b.x - a.x) * k / 60.0,
                               a.y + (b.y - a.y) * 0.5 * (1 + std::sin(k * 0.3))});
            if (i % 10 == 7)
                style = AnnotationStyle::initial(AnnotationTool::highlight, 2);
            objects.append(
                path(i % 10 == 6 ? AnnotationTool::pen : AnnotationTool::highlight, style, points));
            break;
        }
        case 8:
            style.cornerRadius = 24;
            objects.append(shape(AnnotationTool::rectangle, style, a, b));
            break;
        default:
            objects.append(
                AnnotationObject(AnnotationTool::number, style, a, {a.x + 48, a.y + 48}, {}, i));
            break;
        }
    }
    return objects;
}

QList<AnnotationObject> randomObjects(std::mt19937& random, QSize size, int count)
{
    const auto real = [&](double lo, double hi) {
        return std::uniform_real_distribution<double>(lo, hi)(random);
    };
    const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    const double w = size.width();
    const double h = size.height();
    const auto point = [&] { return Point{real(-0.1 * w, 1.1 * w), real(-0.1 * h, 1.1 * h)}; };
    const auto near = [&](Point p, double reach) {
        return Point{p.x + real(-reach, reach), p.y + real(-reach, reach)};
    };
    const AnnotationTool tools[]
        = {AnnotationTool::rectangle, AnnotationTool::ellipse, AnnotationTool::line,
           AnnotationTool::arrow,     AnnotationTool::pen,     AnnotationTool::highlight,
           AnnotationTool::number,    AnnotationTool::text,    AnnotationTool::mask,
           AnnotationTool::mask};
    QList<AnnotationObject> objects;
    for (int i = 0; i < count; ++i) {
        const AnnotationTool tool = tools[pick(static_cast<int>(std::size(tools)))];
        AnnotationStyle style = AnnotationStyle::initial(tool, 1);
        style.color = AnnotationColor::palette[static_cast<std::size_t>(pick(8))];
        style.color.alpha = pick(3) == 0 ? real(0.2, 1) : 1;
        style.width = real(1, 30);
        style.filled = pick(2) == 0;
        style.fillOpacity = real(0, 1);
        style.cornerRadius = pick(2) == 0 ? 0 : real(0, 40);
        style.dashed = pick(4) == 0;
        style.arrowHead = allArrowHeads[static_cast<std::size_t>(pick(3))];
        style.maskEffect = allMaskEffects[static_cast<std::size_t>(pick(3))];
        style.maskBrush = pick(3) == 0;
        style.maskStrength = real(4, 40);
        style.fontSize = real(10, 40);
        style.textBackground = pick(2) == 0;
        const Point a = point();
        const Point b = near(a, 0.4 * std::min(w, h));
        QList<Point> points;
        if (tool == AnnotationTool::pen || tool == AnnotationTool::highlight
            || (tool == AnnotationTool::mask && style.maskBrush)) {
            Point p = a;
            const int n = 1 + pick(40);
            for (int k = 0; k < n; ++k) {
                points.append(p);
                p = near(p, 25);
            }
        }
        AnnotationObject object(tool, style, a, b, points, 1 + pick(120),
                                QStringLiteral("随机 text %1 wraps here").arg(i), real(40, 300));
        if (tool == AnnotationTool::arrow && pick(2) == 0)
            object.curveControl = near(a, 0.4 * std::min(w, h));
        objects.append(object);
    }
    return objects;
}

QList<Point> jitteryStroke(int count, QSizeF size, double jitter, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> noise(-jitter, jitter);
    QList<Point> samples;
    samples.reserve(count);
    for (int i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / count;
        const double zig = std::abs(std::fmod(t * 40, 2.0) - 1) * 0.08;
        const double x = (0.5 + 0.4 * std::sin(2 * std::numbers::pi * 3 * t)) * size.width();
        const double y
            = (0.5 + (0.4 - zig) * std::sin(2 * std::numbers::pi * 2 * t + 0.5)) * size.height();
        samples.append({x + noise(random), y + noise(random)});
    }
    return samples;
}

AnnotationObject chineseText(int characters, double imageHeight)
{
    static const QString source
        = QStringLiteral("截图之后可以在图上标注矩形椭圆箭头直线画笔文字序号高亮和遮挡，遮挡可以是"
                         "纯色、马赛克或模糊，"
                         "标注在输出之前都可以选择移动缩放改样式撤销和重做。");
    QString text;
    while (text.size() < characters)
        text += source;
    text.truncate(characters);
    AnnotationStyle style = AnnotationStyle::initial(AnnotationTool::text, 1.5);
    style.textBackground = true;
    const double wrap = 600;
    const Size box = AnnotationTextLayout::size(text, style, wrap);
    return AnnotationObject(AnnotationTool::text, style, {40, imageHeight - 40 - box.height},
                            {40 + box.width, imageHeight - 40}, {}, 0, text, wrap);
}

} // namespace kelpie::test
