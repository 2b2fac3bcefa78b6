#include "verification/ImageChecks.h"

#include <QColorSpace>
#include <QRegularExpression>
#include <QWindow>

#include <cstdlib>
#include <cstring>

namespace kelpie::ImageChecks {

bool samePixels(const QImage& a, const QImage& b)
{
    if (a.isNull() || b.isNull() || a.size() != b.size())
        return false;
    // Pixel by pixel: QImage's own comparison also weighs metadata (scale,
    // colour space) that two equal pictures may carry differently.
    const QImage left = a.convertToFormat(QImage::Format_ARGB32);
    const QImage right = b.convertToFormat(QImage::Format_ARGB32);
    const qsizetype bytes = qsizetype(left.width()) * 4;
    for (int y = 0; y < left.height(); ++y) {
        if (std::memcmp(left.constScanLine(y), right.constScanLine(y), std::size_t(bytes)) != 0)
            return false;
    }
    return true;
}

bool nearColour(QColor a, QColor b, int tolerance)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
        && std::abs(a.blue() - b.blue()) <= tolerance;
}

QString withoutSpaces(QString text)
{
    static const QRegularExpression space(QStringLiteral("\\s"));
    text.remove(space);
    return text;
}

std::string colourSpaceName(const QImage& image)
{
    const QColorSpace space = image.colorSpace();
    if (!space.isValid())
        return "unspecified";
    if (space == QColorSpace(QColorSpace::SRgb))
        return "sRGB";
    const QString description = space.description();
    return description.isEmpty() ? "other" : description.toStdString();
}

nlohmann::json size(QSize size) { return nlohmann::json::array({size.width(), size.height()}); }

bool exposed(const QWidget* widget)
{
    const QWindow* window = widget ? widget->windowHandle() : nullptr;
    return window && window->isExposed();
}

} // namespace kelpie::ImageChecks
