#include "annotation/ArrowHead.h"

namespace kelpie {

namespace {

constexpr std::array<const char16_t*, allArrowHeads.size()> headNames{
    u"filled",
    u"open",
    u"double",
};

} // namespace

QString rawValue(ArrowHead head)
{
    return QString::fromUtf16(headNames[static_cast<std::size_t>(head)]);
}

std::optional<ArrowHead> arrowHeadFromRawValue(QStringView raw)
{
    for (ArrowHead head : allArrowHeads) {
        if (raw == QStringView(headNames[static_cast<std::size_t>(head)]))
            return head;
    }
    return std::nullopt;
}

} // namespace kelpie
