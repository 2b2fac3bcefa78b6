#include "text/SecretMasks.h"

#include <algorithm>

namespace kelpie::SecretMasks {

Rect annotationRect(const Rect& imageRect, Size imageSize)
{
    const Rect flipped(imageRect.minX(), imageSize.height - imageRect.maxY(), imageRect.width(),
                       imageRect.height());
    const Rect clipped = flipped.intersected(Rect(0, 0, imageSize.width, imageSize.height));
    return clipped.isNull() || clipped.isEmpty() ? Rect() : clipped;
}

AnnotationStyle maskStyle(const AnnotationStyle& toolStyle)
{
    AnnotationStyle style
        = toolStyle.valid() ? toolStyle : AnnotationStyle::initial(AnnotationTool::mask, 1);
    style.maskBrush = false;
    return style;
}

namespace {

bool coveredBy(const Rect& rect, const QList<Rect>& occlusions)
{
    return std::any_of(occlusions.begin(), occlusions.end(),
                       [&](const Rect& occlusion) { return occlusion.contains(rect); });
}

// The masks of one secret: its rectangles not already hidden, and whether
// the secret is on the image at all.
struct SecretMasksOf {
    QList<AnnotationObject> objects;
    bool onImage = false;
};

SecretMasksOf masksOf(const SecretMatch& secret, const AnnotationStyle& style, Size imageSize,
                      const QList<Rect>& occlusions)
{
    SecretMasksOf result;
    for (const Rect& imageRect : secret.rects) {
        const Rect rect = annotationRect(imageRect, imageSize);
        if (rect.isEmpty())
            continue;
        result.onImage = true;
        if (coveredBy(rect, occlusions))
            continue;
        result.objects.append(AnnotationObject(AnnotationTool::mask, style,
                                               Point{rect.minX(), rect.minY()},
                                               Point{rect.maxX(), rect.maxY()}));
    }
    return result;
}

} // namespace

QList<AnnotationObject> maskObjects(const std::vector<SecretMatch>& secrets,
                                    const AnnotationStyle& toolStyle, Size imageSize,
                                    const QList<Rect>& occlusions)
{
    const AnnotationStyle style = maskStyle(toolStyle);
    QList<AnnotationObject> objects;
    for (const SecretMatch& secret : secrets)
        objects.append(masksOf(secret, style, imageSize, occlusions).objects);
    return objects;
}

int apply(AnnotationDocument& document, const std::vector<SecretMatch>& secrets,
          const AnnotationStyle& toolStyle)
{
    if (document.inTransaction())
        return 0;
    const AnnotationStyle style = maskStyle(toolStyle);
    const Size imageSize{double(document.baseImage().width()),
                         double(document.baseImage().height())};
    const QList<Rect> occlusions = document.state().occlusions();
    AnnotationState next = document.state();
    int masked = 0;
    for (const SecretMatch& secret : secrets) {
        const SecretMasksOf masks = masksOf(secret, style, imageSize, occlusions);
        masked += masks.onImage;
        for (const AnnotationObject& object : masks.objects)
            next.objects.append(object);
    }
    document.commit(std::move(next));
    return masked;
}

QString statusText(int found, int masked)
{
    if (found == 0)
        return QStringLiteral("没有发现敏感信息");
    return QStringLiteral("已遮盖 %1 处敏感信息").arg(masked);
}

} // namespace kelpie::SecretMasks
