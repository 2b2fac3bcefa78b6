#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>

#include <nlohmann/json.hpp>

#include <string>

namespace kelpie {

// Comparisons the verification routines make of what the system produced.
namespace ImageChecks {

// Same size and the same colour in every pixel, whatever the two formats.
bool samePixels(const QImage& a, const QImage& b);
// Each channel within `tolerance`: for colours that went through a capture.
bool nearColour(QColor a, QColor b, int tolerance = 24);
// Recognised text with every space and line break taken out, for comparing
// Chinese lines whose spacing the recogniser decides.
QString withoutSpaces(QString text);
// "sRGB", "unspecified" or the colour space's own description.
std::string colourSpaceName(const QImage& image);
nlohmann::json size(QSize size);
// Whether a top-level widget is on screen and drawn.
bool exposed(const QWidget* widget);

} // namespace ImageChecks
} // namespace kelpie
