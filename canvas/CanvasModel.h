#pragma once

#include "annotation/AnnotationColor.h"
#include "annotation/AnnotationDocument.h"
#include "annotation/AnnotationObject.h"
#include "annotation/AnnotationStyle.h"
#include "annotation/AnnotationTextMeasurer.h"
#include "annotation/AnnotationTool.h"
#include "canvas/CanvasDrag.h"
#include "canvas/CanvasKey.h"
#include "canvas/CanvasPreview.h"
#include "canvas/CanvasStyleStore.h"
#include "canvas/CanvasTextEditor.h"
#include "canvas/CanvasTool.h"
#include "geometry/Point.h"
#include "geometry/Rect.h"
#include "geometry/Size.h"

#include <QImage>
#include <QString>
#include <QUuid>

#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace kelpie {

// Everything the annotation canvas knows and does, without a widget: the
// tool, the selection, the pointer gesture and its draft, the preview
// composite, keys, styles and the in-place text edit. AnnotationCanvas paints
// it and feeds it events; tests drive it directly.
//
// View space is the canvas's own, in points, with the origin at the
// bottom-left and y up (the widget converts once at its border); annotation
// space is the base image's pixels, also y-up. Every user-visible change is
// one commit to the document (one undo step); a pointer gesture keeps its
// work in `draft` until the pointer is released.
class CanvasModel {
public:
    // Where the text editor goes and how it looks, for the view to apply.
    struct TextEditorLayout {
        // In view space (y-up).
        Rect frame;
        // View points per image pixel.
        double scale = 1;
        AnnotationStyle style;
    };

    CanvasModel(AnnotationDocument& document, CanvasStyleStore& styles, bool compactStyles,
                const AnnotationTextMeasurer& measurer);
    ~CanvasModel();

    CanvasModel(const CanvasModel&) = delete;
    CanvasModel& operator=(const CanvasModel&) = delete;

    // --- state ---------------------------------------------------------
    AnnotationDocument& document() const { return m_document; }
    AnnotationTool tool() const { return m_tool; }
    const std::optional<QUuid>& selectedID() const { return m_selectedID; }
    // The selected object of the document's state, if it still exists.
    std::optional<AnnotationObject> selected() const;
    const std::optional<CanvasDrag>& drag() const { return m_drag; }
    const std::optional<Point>& anchor() const { return m_anchor; }
    const std::optional<AnnotationObject>& draft() const { return m_draft; }
    const AnnotationObjectList& following() const { return m_following; }
    // The preview must re-render under the draft: a mask moves or lies above it.
    bool fullDraftPreview() const { return m_fullDraftPreview; }
    // A gesture is in progress or the text editor is open; the host refuses
    // outputs meanwhile.
    bool hasDraft() const { return m_drag.has_value() || m_textEditing; }
    Size imageSize() const;
    bool compactStyles() const { return m_compactStyles; }
    const std::map<AnnotationTool, AnnotationColor>& markupColors() const { return m_markupColors; }
    bool curvedArrow() const { return m_curvedArrow; }

    bool editingEnabled() const { return m_editingEnabled; }
    void setEditingEnabled(bool enabled) { m_editingEnabled = enabled; }

    // --- the preview ---------------------------------------------------
    // The composite the view shows: the document's objects with the draft
    // in its place. Null when rendering failed.
    const QImage& previewImage() const { return m_preview.image(); }
    // Rebuilds the composite from scratch for the current state and draft.
    void refreshPreview();
    // The pixels of previewImage() changed since the last call.
    QRect takePreviewChanges() { return m_preview.takeChanges(); }

    // --- view geometry -------------------------------------------------
    void setViewSize(Size size);
    Size viewSize() const { return m_viewSize; }
    Rect contentRect() const;
    double defaultStyleScale() const;
    // Six view points in image pixels: the slack of every hit test.
    double hitTolerance() const;
    std::optional<Point> canonical(Point view, bool clamp) const;
    Point viewPoint(Point annotation) const;

    // --- queries -------------------------------------------------------
    // The topmost object under an annotation-space point.
    std::optional<AnnotationObject> objectAt(Point point) const;
    // Whether the text-selection layer may take the pointer at a view point.
    bool canSelectText(Point view) const;
    // Whether the canvas itself (not a child) takes a press at a view point.
    bool takesPointer(Point view) const;

    // --- pointer -------------------------------------------------------
    // View-space pointer events. pointerDown returns false when editing is
    // disabled, so that the host may drag its window instead.
    bool pointerDown(Point view, int clickCount);
    void pointerDragged(Point view, bool shift);
    bool pointerUp();
    // A wheel step: zooms the host or steps its size control.
    void scroll(double delta);

    // --- gestures (also used by the tools) -----------------------------
    void begin(CanvasDrag drag, Point at, const AnnotationObject& object);
    void beginMove(const AnnotationObject& object, Point at);
    // Starts drawing a new object of `tool` at `point`.
    void beginDrawing(AnnotationTool tool, Point point);
    void select(const QUuid& id);
    void cancelGesture();
    void deselect();
    // Commits `state`; when nothing changed, refreshes and notifies anyway.
    void commitOrRefresh(AnnotationState state);

    // --- commands and styles -------------------------------------------
    AnnotationTool currentTool() const;
    AnnotationStyle currentStyle() const;
    AnnotationStyle newStyle(AnnotationTool tool) const;
    void chooseTool(AnnotationTool tool);
    void changeStyle(const AnnotationStyle& style);
    void chooseMarkup(std::optional<AnnotationColor> color, std::optional<bool> curved);
    // True when the key was handled.
    bool handleKey(const CanvasKey& key);
    // A continuous style change (a slider drag): one undo step for a
    // selected object, one stored default at the end otherwise.
    void beginStyleAdjustment();
    void endStyleAdjustment();

    // --- text editing --------------------------------------------------
    void setTextEditor(CanvasTextEditor* editor) { m_textEditor = editor; }
    bool textEditing() const { return m_textEditing; }
    const std::optional<Point>& textTopLeft() const { return m_textTopLeft; }
    double textMaximumWidth() const { return m_textMaximumWidth; }
    void beginTextEditing(const std::optional<AnnotationObject>& existing, Point point);
    bool finishTextEditing();
    void cancelTextEditing();
    std::optional<TextEditorLayout> textEditorLayout() const;
    void updateTextEditorLayout();

    // --- callbacks -----------------------------------------------------
    std::function<void()> onDocumentChanged;
    std::function<void()> onPreviewBegin;
    std::function<void()> onSelectionChanged;
    std::function<void(std::optional<double> step, std::optional<int> index)> onStyleKey;
    std::function<void()> onConfirm;
    std::function<void()> onSpace;
    std::function<void()> onExit;
    std::function<void(const QString& message)> onError;
    std::function<void(double factor)> onZoom;
    // The view must repaint (chrome, selection, preview).
    std::function<void()> onRedraw;

private:
    void documentChanged();
    void redraw() const;
    void notify(const std::function<void()>& callback) const;
    void clearGesture();
    void dragTo(Point p, bool shift);
    bool handlesStartGesture(const AnnotationObject& object, Point p);
    void replaceSelected(const AnnotationObject& object);
    void nudge(double dx, double dy);
    void deleteSelected();
    bool handleEscape();
    void leaveToolKeepingSelection();
    bool chooseToolKey(int key);
    void endTextEditing();
    void restyleSelected(const AnnotationStyle& style);

    AnnotationDocument& m_document;
    CanvasStyleStore& m_styles;
    const AnnotationTextMeasurer& m_measurer;
    const bool m_compactStyles;

    AnnotationTool m_tool = AnnotationTool::select;
    std::optional<QUuid> m_selectedID;
    bool m_editingEnabled = true;
    std::map<AnnotationTool, AnnotationColor> m_markupColors;
    bool m_curvedArrow = true;
    Size m_viewSize;

    std::optional<CanvasDrag> m_drag;
    std::optional<Point> m_anchor;
    std::optional<AnnotationObject> m_draft;
    AnnotationObjectList m_following;
    bool m_fullDraftPreview = false;
    std::unique_ptr<CanvasTool> m_gestureTool;
    CanvasPreview m_preview;

    CanvasTextEditor* m_textEditor = nullptr;
    bool m_textEditing = false;
    std::optional<Point> m_textTopLeft;
    double m_textMaximumWidth = 360;

    bool m_adjustingStyle = false;
    // Styles chosen during a slider drag with nothing selected, stored at its end.
    std::map<AnnotationTool, AnnotationStyle> m_pendingStyles;
};

} // namespace kelpie
