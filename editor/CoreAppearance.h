#pragma once

#include "geometry/Rect.h"

#include <QColor>
#include <QPainterPath>
#include <QPalette>
#include <QRectF>

#include <functional>

class QWidget;
class QPalette;

namespace kelpie {

// The shared colours and border metrics that give the overlay, the editors
// and the pins one look, in the light and in the dark appearance.
namespace CoreAppearance {

enum class Appearance {
    light,
    dark,
};

// A colour that resolves to its dark value when the effective appearance is
// dark and to its light value otherwise.
struct NamedColor {
    const char* name;
    QColor light;
    QColor dark;

    QColor resolved(Appearance appearance) const
    {
        return appearance == Appearance::dark ? dark : light;
    }
};

extern const NamedColor accent;
extern const NamedColor captureBorder;
extern const NamedColor error;
extern const NamedColor surface;

// The desktop's own colours that the controls are drawn with, fixed per
// appearance so a control looks the same whatever widget style is active.
extern const NamedColor label;
extern const NamedColor windowBackground;
extern const NamedColor separator;
extern const NamedColor systemRed;

// The appearance a widget is shown in: dark when the window colour of the
// application's palette, or of the palette set on the widget or an
// ancestor, is dark. Widgets learn of a switch through a palette change.
Appearance appearance(const QPalette& palette);
Appearance appearance(const QWidget* widget);

// A palette of the window background and label colours of `appearance`:
// what a view is given to be drawn in one appearance whatever the desktop's.
QPalette palette(Appearance appearance);

// Sent to every widget when the application's palette or the desktop's theme
// changes: the toolkit itself tells only the application object.
int appearanceChangeEventType();

// True for the events that announce a change of the effective appearance.
bool isAppearanceChange(int eventType);

// The one way a surface follows the light and dark switch: `refresh` runs
// whenever the widget's effective appearance may have changed (the
// desktop's theme, the application's palette, or a palette or style set on
// the widget or an ancestor). Without `refresh` the widget is repainted.
void followAppearance(QWidget* widget, std::function<void()> refresh = {});

constexpr double captureBorderWidth = 2;

// min(width × 0.2, height × 0.2, 30)
double captureRadius(const Rect& rect);
double captureRadius(const QRectF& rect);
// The rounded rectangle of `rect` with corner radius captureRadius(rect).
// The shape is symmetric, so it serves y-up and y-down spaces alike.
QPainterPath captureOutline(const QRectF& rect);

// The system font at a pixel size (one pixel is one point of the views).
QFont systemFont(double size, int weight = 400);
// The fixed-pitch system font at a pixel size.
QFont monospacedSystemFont(double size, int weight = 400);
// The system font at a pixel size with digits of equal width, so counts
// that change under the pointer (a region's size) keep their width.
QFont monospacedDigitSystemFont(double size, int weight = 400);
// `font` itself when its digits are all of one width, else the fixed-pitch
// system font at the same pixel size and weight.
QFont withMonospacedDigits(const QFont& font);

} // namespace CoreAppearance
} // namespace kelpie
