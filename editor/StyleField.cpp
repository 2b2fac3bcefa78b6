#include "editor/StyleField.h"

#include <limits>

namespace kelpie {

StyleFieldRange range(StyleField field)
{
    switch (field) {
    case StyleField::strokeWidth: return {1, 80};
    case StyleField::fontSize: return {8, 200};
    case StyleField::number: return {1, 999999};
    }
    return {1, 1};
}

QString errorMessage(StyleField field)
{
    switch (field) {
    case StyleField::strokeWidth: return QStringLiteral("线宽须为 1–80 的整数");
    case StyleField::fontSize: return QStringLiteral("字号须为 8–200 的整数");
    case StyleField::number: return QStringLiteral("编号须为 1–999999 的整数");
    }
    return {};
}

std::optional<qint64> parseInteger(QStringView text)
{
    qsizetype i = 0;
    bool negative = false;
    if (!text.isEmpty() && (text[0] == u'+' || text[0] == u'-')) {
        negative = text[0] == u'-';
        i = 1;
    }
    if (i == text.size())
        return std::nullopt;
    // Accumulated as a negative number, whose range is one larger.
    constexpr qint64 lowest = std::numeric_limits<qint64>::min();
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const int digit = c - u'0';
        if (value < (lowest + digit) / 10)
            return std::nullopt;
        value = value * 10 - digit;
    }
    if (negative)
        return value;
    if (value == lowest)
        return std::nullopt;
    return -value;
}

std::optional<qint64> validValue(StyleField field, QStringView text)
{
    const std::optional<qint64> value = parseInteger(text);
    const StyleFieldRange allowed = range(field);
    if (!value || *value < allowed.minimum || *value > allowed.maximum)
        return std::nullopt;
    return value;
}

} // namespace kelpie
