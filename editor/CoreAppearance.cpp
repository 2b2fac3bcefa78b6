#include "editor/CoreAppearance.h"

#include <QApplication>
#include <QEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPalette>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace kelpie::CoreAppearance {
namespace {

QColor srgb(double red, double green, double blue, double alpha = 1)
{
    return QColor::fromRgbF(static_cast<float>(red), static_cast<float>(green),
                            static_cast<float>(blue), static_cast<float>(alpha));
}

} // namespace

const NamedColor accent{"KelpieAccent", srgb(0.17, 0.40, 0.31), srgb(0.17, 0.40, 0.31)};
const NamedColor captureBorder{"KelpieCaptureBorder", srgb(0.29, 0.54, 0.45),
                               srgb(0.40, 0.67, 0.60)};
const NamedColor error{"KelpieError", srgb(0.70, 0.15, 0.12), srgb(1.0, 0.54, 0.50)};
const NamedColor surface{"KelpieSurface", srgb(0.97, 0.98, 0.96), srgb(0.13, 0.145, 0.14)};

const NamedColor label{"label", srgb(0, 0, 0, 0.85), srgb(1, 1, 1, 0.85)};
const NamedColor windowBackground{"windowBackground", srgb(0.925, 0.925, 0.925),
                                  srgb(0.196, 0.196, 0.196)};
const NamedColor separator{"separator", srgb(0, 0, 0, 0.1), srgb(1, 1, 1, 0.1)};
const NamedColor systemRed{"systemRed", srgb(1.0, 0.231, 0.188), srgb(1.0, 0.271, 0.227)};

Appearance appearance(const QPalette& palette)
{
    return palette.color(QPalette::Active, QPalette::Window).lightnessF() < 0.5 ? Appearance::dark
                                                                                : Appearance::light;
}

QPalette palette(Appearance appearance)
{
    QPalette result(windowBackground.resolved(appearance), windowBackground.resolved(appearance));
    const QColor text = label.resolved(appearance);
    result.setColor(QPalette::WindowText, text);
    result.setColor(QPalette::ButtonText, text);
    result.setColor(QPalette::Text, text);
    return result;
}

// The appearance belongs to the window a control is in, or to the nearest
// view that was given a palette of its own; the palettes the toolkit keeps
// per widget class must not decide it.
Appearance appearance(const QWidget* widget)
{
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (w->testAttribute(Qt::WA_SetPalette))
            return appearance(w->palette());
    }
    return appearance(QApplication::palette());
}

int appearanceChangeEventType()
{
    static const int type = QEvent::registerEventType();
    return type;
}

namespace {

class AppearanceWatcher : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == qApp
            && (event->type() == QEvent::ApplicationPaletteChange
                || event->type() == QEvent::ThemeChange)) {
            QEvent change(static_cast<QEvent::Type>(appearanceChangeEventType()));
            for (QWidget* widget : QApplication::allWidgets())
                QApplication::sendEvent(widget, &change);
        }
        return false;
    }
};

} // namespace

bool isAppearanceChange(int eventType)
{
    return eventType == QEvent::PaletteChange || eventType == QEvent::ApplicationPaletteChange
        || eventType == QEvent::StyleChange || eventType == appearanceChangeEventType();
}

double captureRadius(const Rect& rect)
{
    return std::min({rect.width() * 0.2, rect.height() * 0.2, 30.0});
}

double captureRadius(const QRectF& rect)
{
    const QRectF r = rect.normalized();
    return std::min({r.width() * 0.2, r.height() * 0.2, 30.0});
}

QPainterPath captureOutline(const QRectF& rect)
{
    QPainterPath path;
    const double radius = captureRadius(rect);
    path.addRoundedRect(rect.normalized(), radius, radius);
    return path;
}

namespace {

// The desktop's family followed by the Chinese families Kelpie's messages
// need. Named outright: left to the font system's own fallback, Chinese
// glyphs are drawn at the unscaled size on screens of fractional scale.
QStringList withChineseFallback(const QString& family, bool monospaced)
{
    if (monospaced)
        return {family, QStringLiteral("Noto Sans Mono CJK SC"), QStringLiteral("Noto Sans CJK SC"),
                QStringLiteral("WenQuanYi Zen Hei Mono")};
    return {family, QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Micro Hei"),
            QStringLiteral("WenQuanYi Zen Hei")};
}

} // namespace

QFont systemFont(double size, int weight)
{
    QFont font = QApplication::font();
    font.setFamilies(withChineseFallback(font.family(), false));
    font.setPixelSize(std::max(1, static_cast<int>(size + 0.5)));
    font.setWeight(static_cast<QFont::Weight>(weight));
    return font;
}

QFont monospacedSystemFont(double size, int weight)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setFamilies(withChineseFallback(font.family(), true));
    font.setPixelSize(std::max(1, static_cast<int>(size + 0.5)));
    font.setWeight(static_cast<QFont::Weight>(weight));
    return font;
}

QFont withMonospacedDigits(const QFont& font)
{
    const QFontMetricsF metrics(font);
    const double zero = metrics.horizontalAdvance(QLatin1Char('0'));
    bool equal = true;
    for (char digit = '1'; digit <= '9'; ++digit)
        equal = equal && std::abs(metrics.horizontalAdvance(QLatin1Char(digit)) - zero) < 0.01;
    if (equal)
        return font;
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (font.pixelSize() > 0)
        fixed.setPixelSize(font.pixelSize());
    else
        fixed.setPointSizeF(font.pointSizeF());
    fixed.setWeight(font.weight());
    return fixed;
}

QFont monospacedDigitSystemFont(double size, int weight)
{
    return withMonospacedDigits(systemFont(size, weight));
}

namespace {

// Starts passing the application's changes on to the widgets, once.
void watchApplicationAppearance()
{
    static AppearanceWatcher* watcher = nullptr;
    if (watcher || !qApp)
        return;
    watcher = new AppearanceWatcher;
    watcher->setParent(qApp);
    qApp->installEventFilter(watcher);
}

class AppearanceFollower : public QObject {
public:
    AppearanceFollower(QWidget* widget, std::function<void()> refresh)
        : QObject(widget), m_widget(widget), m_refresh(std::move(refresh))
    {
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_widget && isAppearanceChange(event->type())) {
            if (m_refresh)
                m_refresh();
            else
                m_widget->update();
        }
        return false;
    }

private:
    QWidget* m_widget;
    std::function<void()> m_refresh;
};

} // namespace

void followAppearance(QWidget* widget, std::function<void()> refresh)
{
    if (!widget)
        return;
    watchApplicationAppearance();
    new AppearanceFollower(widget, std::move(refresh));
}

} // namespace kelpie::CoreAppearance
