#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <optional>

namespace kelpie {

// The head of an arrow. `double_` (raw value "double") puts a filled head at
// both ends; the trailing underscore only keeps the name clear of the keyword.
enum class ArrowHead {
    filled,
    open,
    double_,
};

// Every head kind, in case order.
inline constexpr std::array<ArrowHead, 3> allArrowHeads{
    ArrowHead::filled,
    ArrowHead::open,
    ArrowHead::double_,
};

// The stored name: "filled", "open", "double".
QString rawValue(ArrowHead head);

// The head kind whose raw value is exactly `raw`, or absent.
std::optional<ArrowHead> arrowHeadFromRawValue(QStringView raw);

} // namespace kelpie
