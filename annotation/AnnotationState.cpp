#include "annotation/AnnotationState.h"

#include <optional>

namespace kelpie {

QList<Rect> AnnotationState::occlusions() const
{
    QList<Rect> result;
    for (const AnnotationObject& object : objects) {
        if (const auto rect = object.occlusion())
            result.append(*rect);
    }
    return result;
}

AnnotationObjectList AnnotationState::safeTextOverlays() const
{
    // Walk from the top down, gathering the covers that lie above each object.
    QList<Rect> coversAbove;
    QList<qsizetype> visibleText;
    for (qsizetype i = objects.size() - 1; i >= 0; --i) {
        const AnnotationObject& object = objects[i];
        if (object.tool() == AnnotationTool::text) {
            const Rect box = object.bounds();
            bool covered = false;
            for (const Rect& cover : coversAbove) {
                if (box.intersects(cover)) {
                    covered = true;
                    break;
                }
            }
            if (!covered)
                visibleText.prepend(i);
        }
        if (const auto rect = object.occlusion())
            coversAbove.append(*rect);
    }
    AnnotationObjectList result;
    for (qsizetype i : visibleText)
        result.append(objects[i]);
    return result;
}

} // namespace kelpie
