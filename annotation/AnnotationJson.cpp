// The stored JSON form of colours and styles, kept in one place so that the
// encoder and the decoder cannot drift apart.
//
// nlohmann-json does the parsing: it is strict (no NaN/Infinity literals, no
// comments, valid UTF-8 only, number overflow is an error), it parses
// iteratively and frees deep documents without recursion, and it is fuzzed
// upstream. Everything below checks types before reading, and the whole
// decode runs inside a catch so that no input can escape as an exception.

#include "annotation/AnnotationColor.h"
#include "annotation/AnnotationStyle.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <exception>

namespace kelpie {

namespace {

using Json = nlohmann::json;
// Keys are written in field declaration order, which keeps stored styles
// readable; readers accept any order.
using OrderedJson = nlohmann::ordered_json;

OrderedJson encodeColor(const AnnotationColor& c)
{
    OrderedJson object = OrderedJson::object();
    object["red"] = c.red;
    object["green"] = c.green;
    object["blue"] = c.blue;
    object["alpha"] = c.alpha;
    return object;
}

bool colorIsFinite(const AnnotationColor& c)
{
    return std::isfinite(c.red) && std::isfinite(c.green) && std::isfinite(c.blue)
        && std::isfinite(c.alpha);
}

QByteArray dump(const OrderedJson& value)
{
    const std::string text = value.dump();
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

// A parsed document, or a discarded value when the text is not JSON.
Json parse(const QByteArray& text)
{
    return Json::parse(text.cbegin(), text.cend(), nullptr, /*allow_exceptions=*/false);
}

const Json* member(const Json& object, const char* key)
{
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

std::optional<double> numberAt(const Json& object, const char* key)
{
    const Json* value = member(object, key);
    if (!value || !value->is_number())
        return std::nullopt;
    return value->get<double>();
}

std::optional<bool> boolAt(const Json& object, const char* key)
{
    const Json* value = member(object, key);
    if (!value || !value->is_boolean())
        return std::nullopt;
    return value->get<bool>();
}

std::optional<QString> stringAt(const Json& object, const char* key)
{
    const Json* value = member(object, key);
    if (!value || !value->is_string())
        return std::nullopt;
    const std::string& s = value->get_ref<const std::string&>();
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::optional<AnnotationColor> decodeColor(const Json& value)
{
    if (!value.is_object())
        return std::nullopt;
    const auto red = numberAt(value, "red");
    const auto green = numberAt(value, "green");
    const auto blue = numberAt(value, "blue");
    const auto alpha = numberAt(value, "alpha");
    if (!red || !green || !blue || !alpha)
        return std::nullopt;
    return AnnotationColor(*red, *green, *blue, *alpha);
}

std::optional<AnnotationColor> colorAt(const Json& object, const char* key)
{
    const Json* value = member(object, key);
    if (!value)
        return std::nullopt;
    return decodeColor(*value);
}

std::optional<AnnotationStyle> decodeStyle(const Json& object)
{
    if (!object.is_object())
        return std::nullopt;

    AnnotationStyle style;
    const auto color = colorAt(object, "color");
    const auto width = numberAt(object, "width");
    const auto filled = boolAt(object, "filled");
    const auto fillOpacity = numberAt(object, "fillOpacity");
    const auto cornerRadius = numberAt(object, "cornerRadius");
    const auto dashed = boolAt(object, "dashed");
    const auto arrowHeadRaw = stringAt(object, "arrowHead");
    const auto maskEffectRaw = stringAt(object, "maskEffect");
    const auto maskBrush = boolAt(object, "maskBrush");
    const auto maskStrength = numberAt(object, "maskStrength");
    const auto fontSize = numberAt(object, "fontSize");
    const auto bold = boolAt(object, "bold");
    const auto textBackground = boolAt(object, "textBackground");
    const auto backgroundColor = colorAt(object, "backgroundColor");
    if (!color || !width || !filled || !fillOpacity || !cornerRadius || !dashed || !arrowHeadRaw
        || !maskEffectRaw || !maskBrush || !maskStrength || !fontSize || !bold || !textBackground
        || !backgroundColor)
        return std::nullopt;

    const auto arrowHead = arrowHeadFromRawValue(*arrowHeadRaw);
    const auto maskEffect = maskEffectFromRawValue(*maskEffectRaw);
    if (!arrowHead || !maskEffect)
        return std::nullopt;

    // An optional field: missing and null both mean "not set"; anything
    // else must be a Boolean.
    if (const Json* curved = member(object, "curvedArrow"); curved && !curved->is_null()) {
        if (!curved->is_boolean())
            return std::nullopt;
        style.curvedArrow = curved->get<bool>();
    }

    style.color = *color;
    style.width = *width;
    style.filled = *filled;
    style.fillOpacity = *fillOpacity;
    style.cornerRadius = *cornerRadius;
    style.dashed = *dashed;
    style.arrowHead = *arrowHead;
    style.maskEffect = *maskEffect;
    style.maskBrush = *maskBrush;
    style.maskStrength = *maskStrength;
    style.fontSize = *fontSize;
    style.bold = *bold;
    style.textBackground = *textBackground;
    style.backgroundColor = *backgroundColor;
    return style;
}

} // namespace

QByteArray AnnotationColor::toJson() const
{
    if (!colorIsFinite(*this))
        return {};
    return dump(encodeColor(*this));
}

std::optional<AnnotationColor> AnnotationColor::fromJson(const QByteArray& json)
{
    try {
        return decodeColor(parse(json));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

QByteArray AnnotationStyle::toJson() const
{
    if (!colorIsFinite(color) || !colorIsFinite(backgroundColor) || !std::isfinite(width)
        || !std::isfinite(fillOpacity) || !std::isfinite(cornerRadius)
        || !std::isfinite(maskStrength) || !std::isfinite(fontSize))
        return {};

    OrderedJson object = OrderedJson::object();
    object["color"] = encodeColor(color);
    object["width"] = width;
    object["filled"] = filled;
    object["fillOpacity"] = fillOpacity;
    object["cornerRadius"] = cornerRadius;
    object["dashed"] = dashed;
    object["arrowHead"] = rawValue(arrowHead).toStdString();
    if (curvedArrow)
        object["curvedArrow"] = *curvedArrow;
    object["maskEffect"] = rawValue(maskEffect).toStdString();
    object["maskBrush"] = maskBrush;
    object["maskStrength"] = maskStrength;
    object["fontSize"] = fontSize;
    object["bold"] = bold;
    object["textBackground"] = textBackground;
    object["backgroundColor"] = encodeColor(backgroundColor);
    return dump(object);
}

std::optional<AnnotationStyle> AnnotationStyle::fromJson(const QByteArray& json)
{
    try {
        return decodeStyle(parse(json));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace kelpie
