#pragma once

#include "annotation/AnnotationStyle.h"
#include "annotation/AnnotationTool.h"

namespace kelpie {

// Where the canvas reads and remembers the default style of each tool. The
// application's preferences stand behind it (PreferencesStyleStore); tests
// pass an in-memory one.
class CanvasStyleStore {
public:
    virtual ~CanvasStyleStore() = default;

    // The remembered style of `tool` when there is a valid one, else the
    // tool's initial style for `scale`.
    virtual AnnotationStyle annotationStyle(AnnotationTool tool, double scale) const = 0;
    // Remembers a valid style for a tool other than select; a durable write.
    virtual void setAnnotationStyle(const AnnotationStyle& style, AnnotationTool tool) = 0;
};

} // namespace kelpie
