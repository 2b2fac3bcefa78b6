// The pinned editor window with its chrome, on Qt's offscreen platform:
// which rows the panels carry and when they show, and what the view-only
// changes (opacity, zoom) leave of the exported picture.

#include "annotation/AnnotationDocument.h"
#include "canvas/AnnotationCanvas.h"
#include "canvas/AnnotationWindow.h"
#include "editor/ImageWindow.h"
#include "pin/PinPanel.h"
#include "settings/AppPreferences.h"
#include "settings/PreferencesStore.h"
#include "tests/editor/ExportFakes.h"
#include "tests/settings/ScratchHome.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>

#include <gtest/gtest.h>

using namespace kelpie;

namespace {

class PinWindowTest : public kelpie::test::ScratchHome {
protected:
    void SetUp() override
    {
        ScratchHome::SetUp();
        preferences = std::make_shared<AppPreferences>(
            PreferencesStore::suite(QStringLiteral("com.kelpie.pin-window-tests.1")));
    }
    void TearDown() override
    {
        pins.clear();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ScratchHome::TearDown();
    }

    // A pin of a picture whose pixels differ everywhere, so that any
    // resampling would show in the export.
    ImageWindow& open(int width = 300, int height = 200)
    {
        QImage picture(width, height, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                picture.setPixel(x, y, qRgb(x % 256, y % 256, (x * y) % 256));
        pins.push_back(std::make_unique<ImageWindow>(
            std::make_unique<AnnotationDocument>(picture), true, preferences, std::nullopt,
            std::nullopt, clipboard, savePanel));
        ImageWindow& pin = *pins.back();
        QApplication::setActiveWindow(pin.window());
        QCoreApplication::processEvents();
        return pin;
    }

    static PinPanel* panel(ImageWindow& pin, int index)
    {
        return pin.window()->findChildren<PinPanel*>().value(index);
    }

    QImage copied()
    {
        QImage image;
        if (!clipboard->pngs.empty())
            image.loadFromData(clipboard->pngs.back(), "PNG");
        return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }

    std::shared_ptr<AppPreferences> preferences;
    std::shared_ptr<test::FakeClipboard> clipboard = std::make_shared<test::FakeClipboard>();
    std::shared_ptr<test::FakeSavePanel> savePanel = std::make_shared<test::FakeSavePanel>();
    std::vector<std::unique_ptr<ImageWindow>> pins;
};

} // namespace

TEST_F(PinWindowTest, ChromeCarriesTheToolAndViewerRowsAndShowsTheStatusWhenItMatters)
{
    ImageWindow& pin = open();
    PinPanel* primary = panel(pin, 0);
    PinPanel* secondary = panel(pin, 1);
    ASSERT_TRUE(primary && secondary);
    EXPECT_TRUE(primary->isVisible()) << "the pin is key";
    EXPECT_FALSE(secondary->isVisible()) << "routine status and no markup row while viewing";
    QStringList titles;
    for (QAbstractButton* button : primary->findChildren<QAbstractButton*>())
        if (button->isVisibleTo(primary) && !button->text().isEmpty())
            titles.append(button->text());
    EXPECT_EQ(titles, (QStringList{QStringLiteral("编辑"), QStringLiteral("保存"),
                                   QStringLiteral("关闭")}));

    // A message that is not routine shows in the secondary panel.
    pin.setStatus(QStringLiteral("图片已复制"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(secondary->isVisible());
    bool statusShown = false;
    for (QLabel* label : secondary->findChildren<QLabel*>())
        statusShown |= label->isVisibleTo(secondary) && label->text() == QStringLiteral("图片已复制");
    EXPECT_TRUE(statusShown);

    // Editing with the arrow tool brings the markup row.
    pin.setStatus(pin.imageDimensions());
    QCoreApplication::processEvents();
    EXPECT_FALSE(secondary->isVisible());
    pin.toggleEditing();
    // The offscreen platform activates every window it shows.
    QApplication::setActiveWindow(pin.window());
    pin.canvas()->model().chooseTool(AnnotationTool::arrow);
    pin.updateControls();
    EXPECT_TRUE(secondary->isVisible());
}

TEST_F(PinWindowTest, ClosingHidesThePanelsForGood)
{
    ImageWindow& pin = open();
    PinPanel* primary = panel(pin, 0);
    ASSERT_TRUE(primary && primary->isVisible());
    pin.close();
    EXPECT_FALSE(primary->isVisible());
    QApplication::setActiveWindow(nullptr);
    QApplication::setActiveWindow(pin.window());
    pin.setStatus(QStringLiteral("图片已复制"));
    pin.updateControls();
    QCoreApplication::processEvents();
    for (PinPanel* each : pin.window()->findChildren<PinPanel*>())
        EXPECT_FALSE(each->isVisible());
}

TEST_F(PinWindowTest, OpacityAndZoomChangeTheViewNotTheExportedPicture)
{
    ImageWindow& pin = open(300, 200);
    pin.copy();
    const QImage before = copied();
    ASSERT_EQ(before.size(), QSize(300, 200));

    pin.opacityPreset(50);
    EXPECT_DOUBLE_EQ(pin.opacity(), 0.5);
    pin.zoom(0.95);
    pin.zoom(0.95);
    const QSize zoomed = pin.window()->size();
    EXPECT_LT(zoomed.width(), 300);
    EXPECT_NEAR(double(zoomed.width()) / zoomed.height(), 1.5, 0.02) << "the aspect holds";
    pin.copy();
    EXPECT_EQ(copied(), before);
    EXPECT_EQ(pins.size(), 1u);
    EXPECT_FALSE(pin.isClosed()) << "copying keeps a pin open";

    pin.zoom(1.05);
    pin.opacityPreset(100);
    pin.copy();
    EXPECT_EQ(copied(), before);
}

TEST_F(PinWindowTest, EachPinKeepsItsOwnHistory)
{
    ImageWindow& first = open();
    ImageWindow& second = open();
    AnnotationState state;
    state.objects = {AnnotationObject(AnnotationTool::rectangle,
                                      AnnotationStyle::initial(AnnotationTool::rectangle, 1),
                                      {10, 10}, {80, 60})};
    first.document().commit(state);
    EXPECT_TRUE(first.document().canUndo());
    EXPECT_FALSE(second.document().canUndo());
    second.undo();
    EXPECT_EQ(first.document().state().objects.size(), 1);
    first.undo();
    EXPECT_TRUE(first.document().state().objects.isEmpty());
    EXPECT_TRUE(first.document().canRedo());
    EXPECT_FALSE(second.document().canRedo());
}
