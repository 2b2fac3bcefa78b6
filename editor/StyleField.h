#pragma once

#include <QString>
#include <QStringView>
#include <QtGlobal>

#include <optional>

namespace kelpie {

// The three numeric fields of the style controls. Each takes a whole number
// within its range and names the range in its message when it refuses one.
enum class StyleField {
    strokeWidth,
    fontSize,
    number,
};

struct StyleFieldRange {
    qint64 minimum;
    qint64 maximum;
};

StyleFieldRange range(StyleField field);

// The status message shown when the field refuses its text.
QString errorMessage(StyleField field);

// A base-10 integer with an optional leading sign and nothing else: "+12" is
// 12, while "12px", " 12", "1.0" and "" are not numbers. Values too large for
// 64 bits are not numbers either.
std::optional<qint64> parseInteger(QStringView text);

// The field's value when the text is a number within the field's range.
std::optional<qint64> validValue(StyleField field, QStringView text);

} // namespace kelpie
