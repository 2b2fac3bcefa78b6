#include "canvas/CanvasPreview.h"

#include "annotation/AnnotationRenderer.h"
#include "annotation/MaskFilter.h"

#include <QColorSpace>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kelpie {

namespace {

constexpr QImage::Format previewFormat = QImage::Format_ARGB32_Premultiplied;

// The full composite in the preview's format, or a null image.
QImage rendered(const QImage& base, const AnnotationObjectList& objects)
{
    const std::optional<QImage> composite = AnnotationRenderer::render(base, objects);
    if (!composite)
        return {};
    return composite->convertToFormat(previewFormat);
}

// Whether every pixel of a 32-bit image has full alpha.
bool opaque(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(line[x]) != 255)
                return false;
        }
    }
    return true;
}

void releaseShared(void* held) { delete static_cast<QImage*>(held); }

// The base itself as the picture with no objects, when its pixels already
// are what a render would give: a pin or editor at rest then keeps one copy
// of its pixels, not two. Opaque RGB32 pixels are valid premultiplied ARGB32
// as they are, so they are shown through a read-only view that holds the
// base (writing to the view copies it first). Null when the base needs a
// real render (another format, colour space or scale).
QImage sharedBase(const QImage& base)
{
    if (base.isNull() || base.devicePixelRatio() != 1.0)
        return {};
    if (base.format() == previewFormat) {
        const QColorSpace space = base.colorSpace();
        return !space.isValid() || space == QColorSpace(QColorSpace::SRgb) ? base : QImage();
    }
    if (base.format() != QImage::Format_RGB32 || base.colorSpace().isValid() || !opaque(base))
        return {};
    auto* held = new QImage(base);
    return QImage(held->constBits(), held->width(), held->height(), held->bytesPerLine(),
                  previewFormat, releaseShared, held);
}

// Draws `objects` onto `image`, which holds the pixels of `area` of a
// composite of `imageSize`. Objects that cannot reach the area are
// skipped. False when one cannot be drawn.
bool drawOnto(QImage& image, const QRect& area, QSize imageSize,
              std::initializer_list<const AnnotationObjectList*> lists,
              const AnnotationObject* draft)
{
    QPainter painter;
    if (!painter.begin(&image))
        return false;
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    painter.setTransform(AnnotationRenderer::annotationToImage(imageSize.height())
                         * QTransform::fromTranslate(-area.x(), -area.y()));
    const auto drawOne = [&](const AnnotationObject& object) {
        if (!CanvasPreview::paintedRect(object, imageSize).intersects(area))
            return true;
        return AnnotationRenderer::draw(object, painter);
    };
    if (draft != nullptr && !drawOne(*draft))
        return false;
    for (const AnnotationObjectList* list : lists) {
        for (const AnnotationObject& object : *list) {
            if (!drawOne(object))
                return false;
        }
    }
    return true;
}

void copyPixels(const QImage& from, const QRect& fromArea, QImage& to, QPoint toOrigin)
{
    const qsizetype bytes = qsizetype(fromArea.width()) * 4;
    for (int row = 0; row < fromArea.height(); ++row) {
        const uchar* source = from.constScanLine(fromArea.y() + row) + qsizetype(fromArea.x()) * 4;
        uchar* target = to.scanLine(toOrigin.y() + row) + qsizetype(toOrigin.x()) * 4;
        std::memcpy(target, source, static_cast<size_t>(bytes));
    }
}

bool drawsPath(const AnnotationObject& object)
{
    return object.tool() == AnnotationTool::pen || object.tool() == AnnotationTool::highlight
        || (object.tool() == AnnotationTool::mask && object.style.maskBrush);
}

// Where a freehand draft that grew at its end can look different: each
// piece of a drawn path depends on three consecutive samples, so only the
// pieces from two samples before the first changed one can change.
std::optional<QRect> grownTail(const AnnotationObject& old, const AnnotationObject& now, int height)
{
    if (!drawsPath(now) || old.tool() != now.tool() || old.style != now.style
        || old.points.size() < 3 || now.points.size() < 3)
        return std::nullopt;
    const qsizetype common = std::min(old.points.size(), now.points.size());
    qsizetype first = 0;
    while (first < common && old.points[first] == now.points[first])
        ++first;
    const qsizetype from = std::max<qsizetype>(first - 2, 0);
    if (from == 0)
        return std::nullopt;
    double minX = now.points[from].x;
    double maxX = minX;
    double minY = now.points[from].y;
    double maxY = minY;
    for (const QList<Point>* points : {&old.points, &now.points}) {
        for (qsizetype i = from; i < points->size(); ++i) {
            minX = std::min(minX, (*points)[i].x);
            maxX = std::max(maxX, (*points)[i].x);
            minY = std::min(minY, (*points)[i].y);
            maxY = std::max(maxY, (*points)[i].y);
        }
    }
    const double margin = now.style.width + 2;
    const QRectF box(minX - margin, height - maxY - margin, maxX - minX + 2 * margin,
                     maxY - minY + 2 * margin);
    if (!std::isfinite(box.width()) || !std::isfinite(box.height()))
        return std::nullopt;
    return box.toAlignedRect();
}

} // namespace

QRect CanvasPreview::paintedRect(const AnnotationObject& object, QSize imageSize)
{
    return AnnotationRenderer::paintedRect(object, imageSize);
}

int CanvasPreview::filterReach(const AnnotationObject& object)
{
    if (object.tool() != AnnotationTool::mask || !std::isfinite(object.style.maskStrength))
        return 0;
    const double strength = std::clamp(object.style.maskStrength, 0.0, 1000.0);
    switch (object.style.maskEffect) {
    case MaskEffect::solid: return 0;
    case MaskEffect::pixelate: return static_cast<int>(std::ceil(strength)) + 1;
    case MaskEffect::blur: return MaskFilter::blurReach(strength * 0.5) + 1;
    }
    return 0;
}

void CanvasPreview::fail()
{
    m_image = QImage();
    m_objects.clear();
    m_changes = QRect(0, 0, 1 << 20, 1 << 20);
}

QRect CanvasPreview::takeChanges()
{
    const QRect changes = m_changes & m_image.rect();
    m_changes = QRect();
    return changes;
}

bool CanvasPreview::showsExactly(const QImage& base, const AnnotationObjectList& objects) const
{
    if (m_image.isNull() || base.cacheKey() != m_base.cacheKey())
        return false;
    if (!m_draft)
        return objects == m_objects;
    const qsizetype below = m_objects.size();
    return objects.size() == below + 1 + m_following.size() && objects.mid(0, below) == m_objects
        && objects[below] == *m_draft && objects.mid(below + 1) == m_following;
}

void CanvasPreview::show(const QImage& base, const AnnotationObjectList& objects)
{
    // After a gesture the committed objects usually are exactly what is shown.
    const bool same = showsExactly(base, objects);
    m_objects = objects;
    m_draft.reset();
    m_following.clear();
    m_below = QImage();
    if (same)
        return;
    m_base = base;
    m_image = objects.isEmpty() ? sharedBase(base) : QImage();
    if (m_image.isNull())
        m_image = rendered(base, objects);
    m_changes = m_image.rect();
    if (m_image.isNull())
        fail();
}

void CanvasPreview::showDraft(const QImage& base, const AnnotationObjectList& below,
                              const AnnotationObject& draft, const AnnotationObjectList& following)
{
    // A new object drawn over the picture as shown needs no render of its own.
    const bool reuse = !m_draft && showsExactly(base, below);
    m_base = base;
    m_below = reuse ? m_image : rendered(base, below);
    m_draft = draft;
    m_following = following;
    m_objects = below;
    if (m_below.isNull()) {
        fail();
        return;
    }
    m_image = m_below.copy();
    m_changes = m_image.rect();
    if (!drawOnto(m_image, m_image.rect(), m_image.size(), {&m_following}, &draft))
        fail();
}

void CanvasPreview::moveDraft(const AnnotationObject& draft)
{
    if (!m_draft || m_below.isNull() || m_image.isNull()) {
        m_draft = draft;
        return;
    }
    const QSize size = m_below.size();
    const int height = size.height();
    const QRect imageRect = m_below.rect();
    QRect dirty = grownTail(*m_draft, draft, height)
                      .value_or(paintedRect(*m_draft, size) | paintedRect(draft, size));
    m_draft = draft;

    // A pixelate or blur mask above the draft changes wherever its input
    // changed, spread by its reach; each such mask also needs its reach of
    // correct input around what it changes.
    int reach = filterReach(draft);
    for (const AnnotationObject& object : m_following) {
        const int r = filterReach(object);
        if (r == 0)
            continue;
        const QRect spread = dirty.adjusted(-r, -r, r, r) & paintedRect(object, size);
        if (!spread.isEmpty())
            dirty |= spread;
        reach += r;
    }
    dirty &= imageRect;
    if (dirty.isEmpty())
        return;
    QRect source = dirty.adjusted(-reach, -reach, reach, reach) & imageRect;
    // Glyphs cut by the edge of the part redrawn may come out differently
    // from whole ones: text and badges that reach the part are redrawn
    // whole, on full rows or columns when they run off the image.
    const auto wholeText = [&](const AnnotationObject& object) {
        if (object.tool() != AnnotationTool::text && object.tool() != AnnotationTool::number)
            return;
        const QRect text = paintedRect(object, size);
        if (!text.intersects(source))
            return;
        source |= text;
        const Rect bounds = object.bounds();
        const double overhang = object.style.fontSize + object.style.width + 2;
        if (bounds.minX() - overhang < 0 || bounds.maxX() + overhang > size.width())
            source = QRect(0, source.top(), size.width(), source.height());
        if (bounds.minY() - overhang < 0 || bounds.maxY() + overhang > size.height())
            source = QRect(source.left(), 0, source.width(), size.height());
    };
    // Growing the part may bring in more text: repeat until none joins (it
    // only grows, within the image).
    for (QRect before; before != source;) {
        before = source;
        wholeText(draft);
        for (const AnnotationObject& object : m_following)
            wholeText(object);
    }

    QImage area = m_below.copy(source);
    if (area.isNull() || !drawOnto(area, source, size, {&m_following}, &draft)) {
        fail();
        return;
    }
    copyPixels(area, dirty.translated(-source.topLeft()), m_image, dirty.topLeft());
    m_changes |= dirty;
}

} // namespace kelpie
