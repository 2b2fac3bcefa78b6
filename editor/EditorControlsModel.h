#pragma once

#include "annotation/AnnotationColor.h"
#include "annotation/AnnotationTool.h"
#include "editor/EditorMode.h"
#include "editor/EditorStatusHooks.h"
#include "editor/StyleControlsState.h"
#include "editor/StyleField.h"

#include <QString>

#include <optional>

namespace kelpie {

class CanvasModel;

// What the style controls do, without widgets: every control action as an
// operation on the canvas's current style (which restyles the selected
// object or remembers the tool's default), the validated fields with their
// messages, the size and colour keys, and the state the controls show.
// EditorControls maps its widgets onto these; tests drive them directly.
class EditorControlsModel {
public:
    EditorControlsModel(CanvasModel& canvas, EditorMode mode, EditorStatusHooks status);

    CanvasModel& canvas() const { return m_canvas; }
    EditorMode mode() const { return m_mode; }
    bool compact() const { return m_mode != EditorMode::plain; }

    StyleControlsState state() const;
    bool styleRowVisible() const;
    // Whether the compact markup row shows: while editing with the arrow or
    // rectangle tool.
    bool markupRowVisible(bool editing) const;
    // Which markup swatch and which arrow sample are on.
    bool markupColorOn(int index) const;
    bool markupShapeOn(int tag) const;

    void chooseTool(AnnotationTool tool);
    // The width slider, or a preset's value.
    void changeWidth(double value);
    void widthPreset(int value);
    void palette(int index);
    void changeColor(const AnnotationColor& color);
    // One option control each, so that changing one leaves the fields the
    // others show as they are.
    void changeFill(int segment);
    void changeDash(int segment);
    void changeArrowHead(int segment);
    void changeMaskEffect(int segment);
    // The brush mode applies only while nothing is selected.
    void changeMaskMode(int segment);
    void changeBrush(double width);
    void changeCorner(double radius);
    void changeTextStyle(bool bold, bool background);

    // Commits a field's text. Returns the text the field shows afterwards:
    // the accepted value written plainly ("+12" becomes "12"), or the current
    // value when the text was refused, which the status then explains.
    QString commitField(StyleField field, const QString& text);
    // The field's current value as text.
    QString fieldText(StyleField field) const;

    // The canvas's size and colour keys.
    void changeStyleKey(std::optional<double> widthStep, std::optional<int> colorIndex);

    // The compact row's colour swatches (tag = markup colour index) and arrow
    // samples (tag 1 = curved).
    void markupColor(int tag);
    void markupShape(int tag);

    // A slider drag: one undo step on a selected object.
    void beginTracking();
    void endTracking();

private:
    void apply(const std::optional<AnnotationStyle>& style);
    void showError(StyleField field);
    void clearError(StyleField field);
    void commitNumber(qint64 number);

    CanvasModel& m_canvas;
    const EditorMode m_mode;
    const EditorStatusHooks m_status;
};

} // namespace kelpie
