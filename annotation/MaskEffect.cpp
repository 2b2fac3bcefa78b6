#include "annotation/MaskEffect.h"

namespace kelpie {

namespace {

constexpr std::array<const char16_t*, allMaskEffects.size()> effectNames{
    u"solid",
    u"pixelate",
    u"blur",
};

} // namespace

QString rawValue(MaskEffect effect)
{
    return QString::fromUtf16(effectNames[static_cast<std::size_t>(effect)]);
}

std::optional<MaskEffect> maskEffectFromRawValue(QStringView raw)
{
    for (MaskEffect effect : allMaskEffects) {
        if (raw == QStringView(effectNames[static_cast<std::size_t>(effect)]))
            return effect;
    }
    return std::nullopt;
}

} // namespace kelpie
