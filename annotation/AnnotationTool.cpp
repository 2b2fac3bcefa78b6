#include "annotation/AnnotationTool.h"

namespace kelpie {

namespace {

struct ToolNames {
    const char16_t* raw;
    const char16_t* title;
    const char16_t* key;
};

// Indexed by the enumeration's value; the order is the case order.
constexpr std::array<ToolNames, allAnnotationTools.size()> toolNames{{
    {u"select", u"选择", u"v"},
    {u"rectangle", u"矩形", u"r"},
    {u"ellipse", u"椭圆", u"o"},
    {u"arrow", u"箭头", u"a"},
    {u"line", u"直线", u"l"},
    {u"pen", u"画笔", u"p"},
    {u"text", u"文字", u"t"},
    {u"mask", u"遮挡", u"m"},
    {u"highlight", u"高亮", u"h"},
    {u"number", u"序号", u"n"},
}};

const ToolNames& namesOf(AnnotationTool tool) { return toolNames[static_cast<std::size_t>(tool)]; }

} // namespace

QString rawValue(AnnotationTool tool) { return QString::fromUtf16(namesOf(tool).raw); }

std::optional<AnnotationTool> annotationToolFromRawValue(QStringView raw)
{
    for (AnnotationTool tool : allAnnotationTools) {
        if (raw == QStringView(namesOf(tool).raw))
            return tool;
    }
    return std::nullopt;
}

QString title(AnnotationTool tool) { return QString::fromUtf16(namesOf(tool).title); }

QString key(AnnotationTool tool) { return QString::fromUtf16(namesOf(tool).key); }

} // namespace kelpie
