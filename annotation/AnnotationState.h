#pragma once

#include "annotation/AnnotationObjectList.h"
#include "geometry/Rect.h"

#include <QList>

#include <cstdint>

namespace kelpie {

// The content of a document at one moment.
//
// A plain value. Copies share their objects (see AnnotationObjectList), so the
// snapshots the undo history keeps cost little.
struct AnnotationState {
    // In drawing order: later objects lie on top of earlier ones.
    AnnotationObjectList objects;
    // The number the next badge receives. Part of the state so that undoing a
    // badge gives its number back.
    std::int64_t nextNumber = 1;

    // The area hidden by each object that hides any, in object order.
    QList<Rect> occlusions() const;

    // The text objects still readable on the composite, in object order: those
    // whose bounds meet no occlusion of an object drawn after them.
    AnnotationObjectList safeTextOverlays() const;

    friend bool operator==(const AnnotationState&, const AnnotationState&) = default;
};

} // namespace kelpie
