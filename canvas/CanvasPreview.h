#pragma once

#include "annotation/AnnotationObject.h"
#include "annotation/AnnotationObjectList.h"

#include <QImage>
#include <QRect>
#include <QSize>

#include <optional>

namespace kelpie {

// The composite the canvas shows, kept up to date cheaply while a draft
// moves. The objects below the draft are rendered once when a gesture
// begins; each move of the draft then re-renders only the pixels that can
// have changed (the draft's old and new area, spread by the reach of every
// pixelate or blur mask above it) from that layer, so the image stays equal,
// pixel for pixel, to a full render of the same objects.
//
// The image is premultiplied ARGB32, the format the view paints fastest.
// With no objects it is the base's own pixels where they already are in that
// form (or are opaque RGB32), so a picture at rest is held once, not twice.
class CanvasPreview {
public:
    // Shows `objects` on `base` with no draft. Nothing is rendered when the
    // image already shows exactly these objects.
    void show(const QImage& base, const AnnotationObjectList& objects);
    // Shows `below`, then `draft`, then `following` on `base`.
    void showDraft(const QImage& base, const AnnotationObjectList& below,
                   const AnnotationObject& draft, const AnnotationObjectList& following);
    // Puts the draft of showDraft() in a new shape or place.
    void moveDraft(const AnnotationObject& draft);

    // Null when rendering failed (an object that cannot be drawn).
    const QImage& image() const { return m_image; }

    // The pixels of image() that changed since the last call (all of them
    // after a new image), so a view can redo only that part of its copy.
    QRect takeChanges();

    // The image pixels an object's drawing can touch.
    static QRect paintedRect(const AnnotationObject& object, QSize imageSize);
    // How far a pixelate or blur mask reads around each pixel it changes.
    static int filterReach(const AnnotationObject& object);

private:
    void fail();
    bool showsExactly(const QImage& base, const AnnotationObjectList& objects) const;

    QImage m_base;
    // The objects below the draft, rendered; the layer every move starts from.
    QImage m_below;
    QImage m_image;
    // What the image shows: these objects, then the draft and the
    // following objects when there is a draft.
    AnnotationObjectList m_objects;
    std::optional<AnnotationObject> m_draft;
    AnnotationObjectList m_following;
    QRect m_changes;
};

} // namespace kelpie
