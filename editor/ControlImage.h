#pragma once

#include "editor/ControlSymbol.h"

#include <QImage>
#include <QSizeF>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QPainter;

namespace kelpie {

// An image shown on a control: one of Kelpie's own vector symbols, a
// drawing made by the caller, or a bitmap. A template image carries only
// shape; the control colours it with its tint. Vector symbols and drawings
// are drawn at the painter's resolution, so they are sharp at any scale.
class ControlImage {
public:
    using Drawing = std::function<void(QPainter&, const QRectF&)>;

    static constexpr double defaultPointSize = 15;

    ControlImage() = default;

    // One of Kelpie's symbols as a template image.
    static ControlImage symbol(ControlSymbol symbol, double pointSize = defaultPointSize,
                               int weight = 400);
    // `draw` paints the image into the rectangle it is given.
    static ControlImage drawing(QSizeF size, bool isTemplate, Drawing draw);
    // The bitmap's size in points is its pixel size over its device pixel ratio.
    static ControlImage bitmap(const QImage& image, bool isTemplate);

    bool isNull() const { return !m_data; }
    bool isTemplate() const;
    bool isSymbol() const;
    std::optional<ControlSymbol> controlSymbol() const;
    double pointSize() const;
    int weight() const;
    QSizeF size() const;

    // The same symbol at another point size and weight; absent when this is
    // not a symbol, so callers can keep the unconfigured image.
    std::optional<ControlImage> withSymbolConfiguration(double pointSize, int weight) const;

    // Paints the image scaled into `target`. Templates are painted black.
    void draw(QPainter& painter, const QRectF& target) const;

private:
    struct Data;
    std::shared_ptr<const Data> m_data;
};

} // namespace kelpie
