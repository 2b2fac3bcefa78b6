#include "verification/EditorProbe.h"

#include "canvas/AnnotationCanvas.h"
#include "editor/EditorControls.h"
#include "editor/ImageWindow.h"
#include "editor/LiveTextOverlay.h"
#include "verification/CanvasInput.h"
#include "verification/SyntheticInput.h"

#include <QAbstractButton>

#include <cstdlib>

namespace kelpie {

namespace {

bool near(const QColor& a, const QColor& b, int tolerance)
{
    return std::abs(a.red() - b.red()) < tolerance && std::abs(a.green() - b.green()) < tolerance
        && std::abs(a.blue() - b.blue()) < tolerance;
}

QImage argb(const std::optional<QImage>& image)
{
    return image ? image->convertToFormat(QImage::Format_ARGB32) : QImage();
}

} // namespace

QString EditorProbe::liveText() const
{
    LiveTextOverlay* overlay = m_window.overlay();
    return overlay && overlay->analysis() ? overlay->text() : QString();
}

bool EditorProbe::analysed() const
{
    LiveTextOverlay* overlay = m_window.overlay();
    return overlay && overlay->analysis() != nullptr;
}

QRectF EditorProbe::pictureRect(const Rect& annotation) const
{
    const double height = m_window.canvas()->model().imageSize().height;
    return QRectF(annotation.minX(), height - annotation.maxY(), annotation.width(),
                  annotation.height());
}

bool EditorProbe::showsToolButton(AnnotationTool tool) const
{
    const QAbstractButton* button = m_window.controls().toolButton(tool);
    return button && button->isVisible() && button->isEnabled();
}

bool EditorProbe::chooseTool(AnnotationTool tool) const
{
    CanvasModel& model = m_window.canvas()->model();
    if (showsToolButton(tool)) {
        QAbstractButton& button = *m_window.controls().toolButton(tool);
        SyntheticInput::click(&button, QRectF(button.rect()).center());
    } else {
        model.chooseTool(tool);
    }
    return model.tool() == tool;
}

void EditorProbe::maskOver(const QRectF& area, MaskEffect effect, double strength) const
{
    AnnotationCanvas& canvas = *m_window.canvas();
    CanvasModel& model = canvas.model();
    chooseTool(AnnotationTool::mask);
    AnnotationStyle style = model.currentStyle();
    style.maskEffect = effect;
    style.maskBrush = false;
    style.maskStrength = strength;
    model.changeStyle(style);
    CanvasInput::dragOnPicture(canvas, area.topLeft(), area.bottomRight());
}

int EditorProbe::pixelsOfColour(const QRectF& area, const QColor& colour) const
{
    const QImage image = argb(m_window.composite());
    const QRect box = area.toAlignedRect().intersected(image.rect());
    int count = 0;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            count += near(image.pixelColor(x, y), colour, 24) ? 1 : 0;
    return count;
}

int EditorProbe::changedPixels(const QImage& before, const QRectF& area) const
{
    const QImage now = argb(m_window.composite());
    const QImage then = before.convertToFormat(QImage::Format_ARGB32);
    if (now.size() != then.size())
        return area.toAlignedRect().width() * area.toAlignedRect().height();
    const QRect box = area.toAlignedRect().intersected(now.rect());
    int count = 0;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            count += near(now.pixelColor(x, y), then.pixelColor(x, y), 8) ? 0 : 1;
    return count;
}

} // namespace kelpie
