#include "editor/WindowLevel.h"

#include <QChildEvent>
#include <QEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QVariant>
#include <QWidget>

#include <optional>

namespace kelpie::WindowLevel {
namespace {

constexpr const char* property = "kelpieWindowLevel";

// What the window manager does for the windows it manages, done for an
// unmanaged window that floats above a covering one: it takes the keyboard
// when it is shown or pressed anywhere, and moves with a drag that starts
// on its own background.
class UnmanagedWindowKeeper : public QObject {
public:
    static constexpr const char* name = "kelpieUnmanagedWindowKeeper";

    explicit UnmanagedWindowKeeper(QWidget* window) : QObject(window), m_window(window)
    {
        setObjectName(QString::fromLatin1(name));
    }

    void watch(QObject* object)
    {
        object->installEventFilter(this);
        for (QObject* child : object->children())
            if (child->isWidgetType())
                watch(child);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::ChildAdded: {
            QObject* child = static_cast<QChildEvent*>(event)->child();
            if (child->isWidgetType())
                watch(child);
            break;
        }
        case QEvent::Show:
            if (watched == m_window)
                m_window->activateWindow();
            break;
        case QEvent::MouseButtonPress: {
            if (!m_window->isActiveWindow())
                m_window->activateWindow();
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (watched == m_window && mouse->button() == Qt::LeftButton)
                m_grab = mouse->globalPosition().toPoint() - m_window->pos();
            break;
        }
        case QEvent::MouseMove:
            if (watched == m_window && m_grab
                && (static_cast<QMouseEvent*>(event)->buttons() & Qt::LeftButton))
                m_window->move(static_cast<QMouseEvent*>(event)->globalPosition().toPoint()
                               - *m_grab);
            break;
        case QEvent::MouseButtonRelease:
            if (watched == m_window)
                m_grab.reset();
            break;
        default: break;
        }
        return false;
    }

private:
    QPointer<QWidget> m_window;
    std::optional<QPoint> m_grab;
};

void keepUnmanaged(QWidget* window, bool keep)
{
    QObject* keeper = window->findChild<QObject*>(QString::fromLatin1(UnmanagedWindowKeeper::name),
                                                  Qt::FindDirectChildrenOnly);
    if (keep && !keeper) {
        auto* added = new UnmanagedWindowKeeper(window);
        added->watch(window);
    } else if (!keep && keeper) {
        delete keeper;
    }
}

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
    keepUnmanaged(window, level > screenSaver);
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
        if (level > screenSaver)
            window->activateWindow();
    }
}

void showCoveringScreen(QWidget* window)
{
    if (QGuiApplication::platformName() == QLatin1String("wayland"))
        window->showFullScreen();
    else
        window->show();
}

} // namespace kelpie::WindowLevel
