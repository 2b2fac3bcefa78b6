#pragma once

#include "annotation/AnnotationObject.h"
#include "geometry/SelectionHandle.h"

#include <optional>

namespace kelpie {

// The pointer gesture in progress on the canvas. Every payload is the object
// as it was when the gesture started.
struct CanvasDrag {
    enum class Kind {
        move,     // the whole object
        resize,   // one of the eight box handles
        endpoint, // one end of a line or arrow
        bend,     // the middle handle of an arrow
        draw,     // a new object, the draft
    };

    Kind kind = Kind::draw;
    std::optional<AnnotationObject> object;
    SelectionHandle handle = SelectionHandle::bottomLeft;
    // For endpoint: true drags the start, false the end.
    bool startPoint = false;
};

} // namespace kelpie
