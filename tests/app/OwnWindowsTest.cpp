#include "app/OwnWindows.h"

#include "overlay/SelectionWindow.h"

#include <QApplication>
#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

using namespace kelpie;

TEST(OwnWindows, CaptureHidesEveryWindowAndBringsBackOnlyThoseStillOpen)
{
    // With nothing on screen there is nothing to wait for or bring back.
    for (QWidget* left : QApplication::topLevelWidgets())
        left->hide();
    EXPECT_FALSE(OwnWindows::hideForCapture());

    auto pin = std::make_unique<QWidget>();
    auto editor = std::make_unique<QWidget>();
    auto closedMeanwhile = std::make_unique<QWidget>();
    auto neverShown = std::make_unique<QWidget>();
    QImage frozen(40, 30, QImage::Format_RGB32);
    frozen.fill(Qt::gray);
    auto overlay = std::make_unique<SelectionWindow>(frozen, QRect(0, 0, 40, 30), QRect(0, 0, 40, 30));
    auto deleted = std::make_unique<QWidget>();
    auto* panel = new QWidget(pin.get(), Qt::Tool);
    for (QWidget* window : {pin.get(), editor.get(), closedMeanwhile.get(),
                            static_cast<QWidget*>(overlay.get()), deleted.get(), panel})
        window->show();

    const std::function<void()> restore = OwnWindows::hideForCapture();
    for (QWidget* window : {pin.get(), editor.get(), closedMeanwhile.get(),
                            static_cast<QWidget*>(overlay.get()), deleted.get()})
        EXPECT_FALSE(window->isVisible());

    closedMeanwhile->close();
    deleted.reset();
    restore();
    EXPECT_TRUE(pin->isVisible());
    EXPECT_TRUE(editor->isVisible());
    EXPECT_FALSE(closedMeanwhile->isVisible());
    EXPECT_FALSE(neverShown->isVisible());
    // The capture brings a new overlay; the old one must not come back.
    EXPECT_FALSE(overlay->isVisible());
    // A pin's panel is the pin's to show again.
    EXPECT_FALSE(panel->isVisible());
    // Once restored, the watch is gone: a later close is an ordinary close.
    EXPECT_EQ(pin->findChildren<QObject*>(QString(), Qt::FindDirectChildrenOnly),
              QList<QObject*>{panel});
}
