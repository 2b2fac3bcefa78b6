#pragma once

#include "annotation/AnnotationTool.h"
#include "annotation/MaskEffect.h"
#include "geometry/Rect.h"

#include <QColor>
#include <QImage>
#include <QRectF>
#include <QString>

namespace kelpie {

class ImageWindow;

// What a verification routine reads off, and does to, one real editor
// window: its live text, its composite, and masks drawn with the canvas's
// own mask tool by a pointer drag. Rectangles are in pixels of the picture
// (y down), as the routines draw their fixtures.
class EditorProbe {
public:
    explicit EditorProbe(ImageWindow& window) : m_window(window) { }

    // The recognised text the overlay holds; empty without an analysis.
    QString liveText() const;
    // The overlay holds an analysis of the current picture.
    bool analysed() const;

    // An annotation-space rectangle (y up) as a picture rectangle (y down).
    QRectF pictureRect(const Rect& annotation) const;

    // Chooses `tool` with a click on its tool-bar button when the window
    // shows one, else through the canvas; whether the tool is then current.
    bool chooseTool(AnnotationTool tool) const;
    // Whether the window shows a tool-bar button for `tool`.
    bool showsToolButton(AnnotationTool tool) const;

    // Chooses the mask tool with `effect` and drags it over `area`.
    void maskOver(const QRectF& area, MaskEffect effect, double strength = 8) const;

    // Pixels of the composite inside `area` within a small tolerance of
    // `colour`.
    int pixelsOfColour(const QRectF& area, const QColor& colour) const;
    // How many pixels inside `area` differ between the composite and `before`.
    int changedPixels(const QImage& before, const QRectF& area) const;

private:
    ImageWindow& m_window;
};

} // namespace kelpie
