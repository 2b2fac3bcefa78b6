#include "capture/DesktopSpace.h"

#include <QGuiApplication>
#include <QScreen>

namespace kelpie::DesktopSpace {
namespace {

Rect rectFrom(const QRect& r) { return Rect(r.x(), r.y(), r.width(), r.height()); }

const QScreen* primaryScreen()
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    return screens.isEmpty() ? nullptr : screens.first();
}

} // namespace

Rect logicalRect(const Rect& nativeRect, const Rect& screenNative, const Rect& screenLogical)
{
    const double scaleX = screenLogical.width() / screenNative.width();
    const double scaleY = screenLogical.height() / screenNative.height();
    return Rect(screenLogical.minX() + (nativeRect.minX() - screenNative.minX()) * scaleX,
                screenLogical.minY() + (nativeRect.minY() - screenNative.minY()) * scaleY,
                nativeRect.width() * scaleX, nativeRect.height() * scaleY);
}

Rect quartzRect(const Rect& logicalRect, const Rect& primaryLogical)
{
    return logicalRect.standardized().offsetBy(-primaryLogical.minX(), -primaryLogical.minY());
}

Rect desktopFrame(const Rect& screenLogical, const Rect& primaryLogical)
{
    // Both are y-down; flipping about the primary screen's bottom edge puts
    // the origin at its bottom-left with y up.
    return Rect(screenLogical.minX() - primaryLogical.minX(),
                primaryLogical.maxY() - screenLogical.maxY(), screenLogical.width(),
                screenLogical.height());
}

double primaryTop(const Rect& primaryLogical) { return primaryLogical.height(); }

Rect desktopFrame(const QScreen* screen)
{
    const QScreen* primary = primaryScreen();
    if (!screen || !primary)
        return Rect::null();
    return desktopFrame(rectFrom(screen->geometry()), rectFrom(primary->geometry()));
}

double primaryTop()
{
    const QScreen* primary = primaryScreen();
    return primary ? primaryTop(rectFrom(primary->geometry())) : 0;
}

} // namespace kelpie::DesktopSpace
