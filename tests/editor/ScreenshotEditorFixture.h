#pragma once

#include "editor/CoreSurfaceView.h"
#include "editor/FloatingControls.h"
#include "editor/ScreenshotChromeLayout.h"
#include "editor/ScreenshotSpace.h"
#include "editor/ScreenshotStatus.h"
#include "editor/ScreenshotView.h"

#include <QApplication>
#include <QMouseEvent>

#include <string>
#include <vector>

namespace kelpie::test {

// A screenshot editor's content as the editor builds it: the view over a
// frozen screen (of one colour unless given) at the application's device pixel ratio, a
// canvas over the crop, the two panels with real floating controls, the
// status, and the layout wired to the view, with recording callbacks.
struct ScreenshotEditorFixture {
    static inline const QColor screenColor{200, 100, 50};

    explicit ScreenshotEditorFixture(Rect region = Rect(100, 100, 400, 300),
                                     bool allowsAdjustment = true, Size capture = {1440, 900},
                                     bool onScreen = false, QImage screen = {})
    {
        const double ratio = qApp->devicePixelRatio();
        if (screen.isNull()) {
            screen = QImage(qRound(capture.width * ratio), qRound(capture.height * ratio),
                            QImage::Format_RGB32);
            screen.fill(screenColor);
        }
        ScreenshotPresentation presentation{screen, Rect(0, 0, capture.width, capture.height),
                                            region, 7, allowsAdjustment};
        view = new ScreenshotView(presentation,
                                  Size{region.width() * ratio, region.height() * ratio});
        view->setAttribute(Qt::WA_DontShowOnScreen, !onScreen);
        view->setWindowFlag(Qt::FramelessWindowHint);
        canvas = new QWidget(view);
        canvas->setAutoFillBackground(true);
        view->setImageView(canvas);
        view->installBorder();
        parts.canvas = canvas;
        parts.toolbarPanel = new CoreSurfaceView(view);
        parts.toolbarContent = new FloatingControls(
            {fixedRow(300, 30)}, FloatingControls::Kind::primaryToolbar, parts.toolbarPanel);
        parts.parametersPanel = new CoreSurfaceView(view);
        parts.parametersContent = new FloatingControls(
            {fixedRow(200, 24)}, FloatingControls::Kind::panel, parts.parametersPanel);
        parts.status = new ScreenshotStatus(view);
        view->setChrome({parts.toolbarPanel, parts.parametersPanel, parts.status});
        view->onLayout = [this] { layout(); };
        view->onAdjustmentBegin = [this] { events.push_back("begin"); };
        view->onAdjustmentCancel = [this] { events.push_back("cancel"); };
        view->onRegionChange = [this](const Rect& r) {
            asked.push_back(r);
            return accept;
        };
        parts.status->onChange = [this] { layout(); };
        view->setGeometry(0, 0, qRound(capture.width), qRound(capture.height));
        view->show();
        layout();
    }
    ~ScreenshotEditorFixture() { delete view; }

    void layout() { layoutScreenshot(*view, parts); }

    QRect widgetRect(const Rect& r) const
    {
        return ScreenshotSpace::widgetRect(r, view->height()).toAlignedRect();
    }
    // A mouse event at a point of `target`, given in view (widget) coordinates.
    bool mouse(QWidget* target, QEvent::Type type, QPointF at,
               Qt::MouseButtons buttons = Qt::LeftButton)
    {
        const QPointF local = target->mapFrom(view, at);
        QMouseEvent event(type, local, target->mapToGlobal(local), Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(target, &event);
        return event.isAccepted();
    }

    ScreenshotView* view;
    QWidget* canvas;
    ScreenshotChromeParts parts;
    bool accept = false;
    std::vector<std::string> events;
    std::vector<Rect> asked;

private:
    static QWidget* fixedRow(int width, int height)
    {
        auto* row = new QWidget;
        row->setFixedSize(width, height);
        return row;
    }
};

} // namespace kelpie::test
