#pragma once

#include "annotation/AnnotationObject.h"
#include "geometry/Rect.h"

#include <QList>

#include <cstdint>

namespace kelpie {

// The content of a document at one moment.
//
// A plain value. `objects` is an implicitly shared list, so a copy of a state
// (each undo step holds one) costs a reference count until one copy changes.
struct AnnotationState {
    // In drawing order: later objects lie on top of earlier ones.
    QList<AnnotationObject> objects;
    // The number the next badge receives. Part of the state so that undoing a
    // badge gives its number back.
    std::int64_t nextNumber = 1;

    // The area hidden by each object that hides any, in object order.
    QList<Rect> occlusions() const;

    // The text objects still readable on the composite, in object order: those
    // whose bounds meet no occlusion of an object drawn after them.
    QList<AnnotationObject> safeTextOverlays() const;

    friend bool operator==(const AnnotationState&, const AnnotationState&) = default;
};

} // namespace kelpie
