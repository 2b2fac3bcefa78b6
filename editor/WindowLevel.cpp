#include "editor/WindowLevel.h"

#include <QVariant>
#include <QWidget>

namespace kelpie::WindowLevel {
namespace {

constexpr const char* property = "kelpieWindowLevel";

} // namespace

int of(const QWidget* window)
{
    if (!window)
        return normal;
    const QVariant level = window->property(property);
    return level.isValid() ? level.toInt() : normal;
}

void set(QWidget* window, int level)
{
    if (!window)
        return;
    window->setProperty(property, level);
    Qt::WindowFlags flags = window->windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, level > normal);
    flags.setFlag(Qt::X11BypassWindowManagerHint, level >= screenSaver);
    if (flags == window->windowFlags())
        return;
    const bool visible = window->isVisible();
    window->setWindowFlags(flags);
    if (visible) {
        window->show();
        window->raise();
    }
}

} // namespace kelpie::WindowLevel
