#include "overlay/SampledColor.h"

namespace kelpie {

QString SampledColor::hex() const { return QString::asprintf("#%02X%02X%02X", red, green, blue); }

QString SampledColor::rgb() const { return QString::asprintf("RGB(%d, %d, %d)", red, green, blue); }

} // namespace kelpie
