#pragma once

#include "annotation/AnnotationDocument.h"
#include "annotation/AnnotationObject.h"
#include "annotation/AnnotationStyle.h"
#include "geometry/Rect.h"
#include "geometry/Size.h"
#include "text/SecretFinder.h"

#include <QList>
#include <QString>

#include <vector>

namespace kelpie {

// Turning found secrets into mask annotations.
namespace SecretMasks {

// A secret's rectangle (image pixels, top-left origin) in annotation space
// (bottom-left origin, y up) on an image of `imageSize`, clipped to the
// image; empty when nothing of it lies on the image.
Rect annotationRect(const Rect& imageRect, Size imageSize);

// The style of the masks: the mask tool's current style, always covering a
// rectangle (never the brush). An invalid style gives way to the mask tool's
// initial one.
AnnotationStyle maskStyle(const AnnotationStyle& toolStyle);

// One mask per rectangle of every secret, in order. A rectangle that an
// existing occlusion (annotation space) already covers whole gets none.
QList<AnnotationObject> maskObjects(const std::vector<SecretMatch>& secrets,
                                    const AnnotationStyle& toolStyle, Size imageSize,
                                    const QList<Rect>& occlusions);

// Adds the masks of `secrets` to `document` as one undo step and returns how
// many secrets received a mask (a secret already hidden whole by earlier
// annotations counts, but adds nothing). Nothing is committed when there is
// nothing to add or a transaction is open (then 0).
int apply(AnnotationDocument& document, const std::vector<SecretMatch>& secrets,
          const AnnotationStyle& toolStyle);

// The status line after the command: "已遮盖 N 处敏感信息", or, when nothing
// was found at all, "没有发现敏感信息".
QString statusText(int found, int masked);

} // namespace SecretMasks
} // namespace kelpie
