#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <optional>

namespace kelpie {

// The kinds of annotation, in the order the toolbar and the tool keys list them.
//
// A tool is stored and compared by its raw value (`rawValue`), a lower-case
// English word that also forms the preferences key of the tool's remembered
// style ("kelpie.annotation.style." + raw value + ".v1"). The raw values are
// part of the stored format and must never change.
enum class AnnotationTool {
    select,
    rectangle,
    ellipse,
    arrow,
    line,
    pen,
    text,
    mask,
    highlight,
    number,
};

// Every tool, in case order.
inline constexpr std::array<AnnotationTool, 10> allAnnotationTools{
    AnnotationTool::select, AnnotationTool::rectangle, AnnotationTool::ellipse,
    AnnotationTool::arrow,  AnnotationTool::line,      AnnotationTool::pen,
    AnnotationTool::text,   AnnotationTool::mask,      AnnotationTool::highlight,
    AnnotationTool::number,
};

// The stored name of a tool: "select", "rectangle", "ellipse", "arrow", "line",
// "pen", "text", "mask", "highlight", "number".
QString rawValue(AnnotationTool tool);

// The tool whose raw value is exactly `raw` (case-sensitive), or absent.
std::optional<AnnotationTool> annotationToolFromRawValue(QStringView raw);

// The name shown to the user, e.g. "矩形" for rectangle.
QString title(AnnotationTool tool);

// The single lower-case letter that chooses the tool from the keyboard, e.g. "r".
QString key(AnnotationTool tool);

} // namespace kelpie
