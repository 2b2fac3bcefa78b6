#include "overlay/SelectionPreview.h"

#include "overlay/OverlaySpace.h"
#include "overlay/SelectionView.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPalette>

#include <cmath>

namespace kelpie::SelectionPreview {

std::unique_ptr<SelectionView> makeView(const QImage& frozen, const Options& options)
{
    const double ratio = options.devicePixelRatio > 0 ? options.devicePixelRatio : 1;
    const Size size{std::floor(frozen.width() / ratio), std::floor(frozen.height() / ratio)};
    if (frozen.isNull() || size.width < 1 || size.height < 1)
        return nullptr;
    auto view = std::make_unique<SelectionView>(frozen, size);
    view->setPalette(CoreAppearance::palette(options.appearance));
    view->model().windowTargets = options.targets;
    if (options.selection)
        view->selectRegion(*options.selection);
    if (options.status)
        view->showWindowStatus(options.status);
    return view;
}

namespace {

void movePointer(SelectionView& view, Point pointer)
{
    const QPointF at = OverlaySpace::widgetPoint(pointer, view.height());
    QMouseEvent move(QEvent::MouseMove, at, view.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&view, &move);
}

} // namespace

QImage render(const QImage& frozen, const Options& options)
{
    const auto view = makeView(frozen, options);
    if (!view)
        return {};
    view->setAttribute(Qt::WA_DontShowOnScreen);
    view->show();
    // The panel is laid out for a shown view; select again now it is.
    if (options.selection)
        view->selectRegion(*options.selection);
    if (options.pointer)
        movePointer(*view, *options.pointer);

    const double ratio = options.devicePixelRatio > 0 ? options.devicePixelRatio : 1;
    QImage output(QSize(static_cast<int>(std::round(view->width() * ratio)),
                        static_cast<int>(std::round(view->height() * ratio))),
                  QImage::Format_ARGB32_Premultiplied);
    output.setDevicePixelRatio(ratio);
    output.fill(Qt::black);
    view->render(&output);
    return output;
}

QImage renderSelection(const QImage& fixture, bool windowHighlight, double devicePixelRatio)
{
    const double ratio = devicePixelRatio > 0 ? devicePixelRatio : 1;
    const double w = std::floor(fixture.width() / ratio);
    const double h = std::floor(fixture.height() / ratio);
    Options options;
    options.devicePixelRatio = ratio;
    if (windowHighlight) {
        const Rect window(std::round(w * 0.18), std::round(h * 0.22), std::round(w * 0.46),
                          std::round(h * 0.52));
        options.targets = {WindowTarget{1, 1, window}};
        options.pointer = Point{std::round(window.midX()), std::round(window.midY())};
    } else {
        const Rect region(std::round(w * 0.24), std::round(h * 0.34), std::round(w * 0.42),
                          std::round(h * 0.4));
        options.selection = region;
        options.pointer = Point{std::round(region.maxX() - 40), std::round(region.minY() + 60)};
    }
    return render(fixture, options);
}

} // namespace kelpie::SelectionPreview
