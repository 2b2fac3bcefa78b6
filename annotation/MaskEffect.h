#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <optional>

namespace kelpie {

// How a mask covers what lies beneath it: an opaque fill in the style's
// colour, square cells of `maskStrength` pixels, or a Gaussian blur.
enum class MaskEffect {
    solid,
    pixelate,
    blur,
};

// Every effect, in case order.
inline constexpr std::array<MaskEffect, 3> allMaskEffects{
    MaskEffect::solid,
    MaskEffect::pixelate,
    MaskEffect::blur,
};

// The stored name: "solid", "pixelate", "blur".
QString rawValue(MaskEffect effect);

// The effect whose raw value is exactly `raw`, or absent.
std::optional<MaskEffect> maskEffectFromRawValue(QStringView raw);

} // namespace kelpie
