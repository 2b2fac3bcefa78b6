#pragma once

#include "annotation/AnnotationDocument.h"
#include "canvas/AnnotationCanvas.h"
#include "canvas/AnnotationWindow.h"
#include "editor/ImageWindow.h"
#include "editor/ScreenshotPresentation.h"
#include "settings/AppPreferences.h"
#include "settings/PreferencesStore.h"
#include "tests/editor/ExportFakes.h"
#include "tests/settings/ScratchHome.h"
#include "text/TextRecognizer.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace kelpie::test {

// Image windows on Qt's offscreen screen, over a scratch settings suite.
class ImageWindowTest : public ScratchHome {
protected:
    void SetUp() override
    {
        ScratchHome::SetUp();
        auto store = PreferencesStore::suite(QStringLiteral("com.kelpie.image-window-tests.1"));
        ASSERT_NE(store, nullptr);
        preferences = std::make_shared<AppPreferences>(store);
    }
    void TearDown() override
    {
        window.reset();
        flush();
        ScratchHome::TearDown();
    }

    static QImage image(int width, int height)
    {
        QImage made(width, height, QImage::Format_ARGB32_Premultiplied);
        made.fill(QColor(90, 140, 200));
        return made;
    }
    // A plain editor or pin; the clipboard and the save dialog are fakes.
    void open(int width, int height, bool pinned) { openOn(image(width, height), pinned); }
    void openOn(const QImage& picture, bool pinned)
    {
        install(std::make_unique<ImageWindow>(std::make_unique<AnnotationDocument>(picture),
                                              pinned, preferences, std::nullopt, std::nullopt,
                                              clipboard, savePanel, recognizer));
    }
    // The screenshot editor over the whole offscreen screen, on a crop at
    // `region` (points, y up).
    void openScreenshot(const Rect& region)
    {
        const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
        const QImage frozen = image(screen.width(), screen.height());
        ScreenshotPresentation presentation{frozen, Rect(0, 0, screen.width(), screen.height()),
                                            region, 1, true};
        install(std::make_unique<ImageWindow>(
            std::make_unique<AnnotationDocument>(image(int(region.width()), int(region.height()))),
            false, preferences, presentation, std::nullopt, clipboard, savePanel, recognizer));
    }
    void install(std::unique_ptr<ImageWindow> made)
    {
        window = std::move(made);
        window->onClose = [this] { ++closes; };
        window->onPin = [this](std::unique_ptr<AnnotationDocument> document) {
            pinRequests.push_back(std::move(document));
        };
    }
    // Starts a rectangle on the canvas and leaves the pointer down.
    void beginDrag()
    {
        model().chooseTool(AnnotationTool::rectangle);
        const Rect content = model().contentRect();
        model().pointerDown({content.midX(), content.midY()}, 1);
        model().pointerDragged({content.midX() + 40, content.midY() + 30}, false);
        ASSERT_TRUE(window->hasDraft());
    }
    void addObject()
    {
        AnnotationState state;
        state.objects = {AnnotationObject(AnnotationTool::rectangle,
                                          AnnotationStyle::initial(AnnotationTool::rectangle, 1),
                                          {10, 10}, {80, 60})};
        window->document().commit(state);
    }
    // Runs the deletions the windows left for the event loop.
    static void flush() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    CanvasModel& model() { return window->canvas()->model(); }
    QWidget& widget() { return *window->window(); }

    std::shared_ptr<AppPreferences> preferences;
    std::shared_ptr<FakeClipboard> clipboard = std::make_shared<FakeClipboard>();
    std::shared_ptr<FakeSavePanel> savePanel = std::make_shared<FakeSavePanel>();
    // The recogniser windows opened from now on get; none by default.
    std::shared_ptr<TextRecognizer> recognizer;
    std::unique_ptr<ImageWindow> window;
    std::vector<std::unique_ptr<AnnotationDocument>> pinRequests;
    int closes = 0;
};


} // namespace kelpie::test
