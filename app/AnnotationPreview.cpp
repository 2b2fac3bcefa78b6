#include "app/AnnotationPreview.h"

#include "annotation/AnnotationDocument.h"
#include "annotation/AnnotationObjectList.h"
#include "annotation/AnnotationTextLayout.h"
#include "settings/ScratchPreferences.h"
#include "canvas/AnnotationWindow.h"
#include "editor/ImageWindow.h"

#include <QCoreApplication>
#include <QPointer>

#include <algorithm>

namespace kelpie {
namespace AnnotationPreview {

namespace {

AnnotationObject shape(AnnotationTool tool, const AnnotationStyle& style, Point a, Point b)
{
    return AnnotationObject(tool, style, a, b);
}

// Lets the window lay itself out and paint before it is read back.
void settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
        QCoreApplication::processEvents();
    }
}

} // namespace

QList<AnnotationObject> sampleObjects(QSize size, bool curvedArrow)
{
    const double w = std::max(size.width(), 1);
    const double h = std::max(size.height(), 1);
    // Strokes and type in proportion to the image, as a new editor would
    // choose them for an image shown at about 800 points.
    const double scale = AnnotationStyle::defaultScale(Size{w, h}, std::min(w, 800.0));
    const auto styleOf = [scale](AnnotationTool tool) {
        return AnnotationStyle::initial(tool, scale);
    };

    QList<AnnotationObject> objects;
    objects.append(shape(AnnotationTool::rectangle, styleOf(AnnotationTool::rectangle),
                         {w * 0.14, h * 0.42}, {w * 0.52, h * 0.80}));

    AnnotationStyle arrowStyle = styleOf(AnnotationTool::arrow);
    arrowStyle.curvedArrow = curvedArrow;
    AnnotationObject arrow
        = shape(AnnotationTool::arrow, arrowStyle, {w * 0.86, h * 0.30}, {w * 0.55, h * 0.58});
    arrow.applyPresetCurve(Size{w, h});
    objects.append(arrow);

    const AnnotationStyle badgeStyle = styleOf(AnnotationTool::number);
    const double badge = std::clamp(std::min(w, h) * 0.08, 12.0, 64.0);
    objects.append(AnnotationObject(AnnotationTool::number, badgeStyle,
                                    {w * 0.14 - badge / 2, h * 0.80 - badge / 2},
                                    {w * 0.14 + badge / 2, h * 0.80 + badge / 2}, {}, 1));

    // The note at the top right, its type made smaller until it fits; a
    // picture too small for any legible note goes without.
    AnnotationStyle note = styleOf(AnnotationTool::text);
    note.textBackground = true;
    const QString text = QStringLiteral("这里需要确认 Check here");
    const double wrap = std::max(w * 0.42, 60.0);
    const Point topLeft{w * 0.56, h * 0.96};
    for (; note.fontSize >= 8; note.fontSize -= 2) {
        const Size box = AnnotationTextLayout::size(text, note, wrap);
        if (topLeft.x + box.width <= w && box.height <= topLeft.y) {
            objects.append(AnnotationObject(AnnotationTool::text, note,
                                            {topLeft.x, topLeft.y - box.height},
                                            {topLeft.x + box.width, topLeft.y}, {}, 0, text,
                                            wrap));
            break;
        }
    }

    AnnotationStyle mask = styleOf(AnnotationTool::mask);
    mask.maskEffect = MaskEffect::pixelate;
    objects.append(shape(AnnotationTool::mask, mask, {w * 0.14, h * 0.08}, {w * 0.48, h * 0.22}));
    return objects;
}

QImage render(const QImage& fixture, const Variant& variant)
{
    if (fixture.isNull())
        return {};
    std::optional<ScratchPreferences> scratch
        = ScratchPreferences::create(QStringLiteral("com.kelpie.annotation-preview."));
    if (!scratch)
        return {};
    auto document = std::make_unique<AnnotationDocument>(fixture);
    AnnotationState state;
    state.objects = AnnotationObjectList(sampleObjects(fixture.size(), variant.curvedArrow));
    document->commit(state);

    QImage picture;
    {
        ImageWindow window(std::move(document), variant.pinned, scratch->preferences);
        if (QWidget* shell = window.window()) {
            settle();
            picture = shell->grab().toImage();
        }
        window.close();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ScratchPreferences::remove(scratch->name);
    return picture;
}

bool renderTo(const QImage& fixture, const QString& path, const Variant& variant)
{
    const QImage picture = render(fixture, variant);
    return !picture.isNull() && picture.save(path, "PNG");
}

} // namespace AnnotationPreview
} // namespace kelpie
