#pragma once

#include "annotation/AnnotationTool.h"
#include "editor/EditorControlsModel.h"
#include "editor/EditorMode.h"
#include "editor/EditorStatusHooks.h"
#include "editor/StyleControlsState.h"
#include "editor/StyleField.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <array>
#include <map>
#include <memory>
#include <optional>

class QAbstractButton;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace kelpie {

class AnnotationCanvas;
class AnnotationDocument;
class ScreenshotColorWell;
class SegmentedControl;
class StyleSlider;
class ToolbarButton;

// The buttons of the editor window that the floating tool bar takes in. The
// window creates them and connects their actions; the controls give them
// their symbols, titles and places.
struct FloatingToolButtons {
    QAbstractButton* undo = nullptr;
    QAbstractButton* redo = nullptr;
    QAbstractButton* pin = nullptr;
    QAbstractButton* save = nullptr;
    // The copy button re-titled "完成" in the screenshot editor, the done
    // button in pinned mode.
    QAbstractButton* primary = nullptr;
    QAbstractButton* close = nullptr;
    // "遮盖敏感信息", placed after undo and redo.
    QAbstractButton* maskSecrets = nullptr;
};

// The controls with which the user picks a tool and styles new or selected
// annotations in an editor or pin window: the tool row, the plain editor's
// style and option rows, and the compact markup row of the screenshot
// editor and pinned mode. A thin composition of widgets over
// EditorControlsModel, which holds the rules and the actions.
class EditorControls : public QObject {
    Q_OBJECT

public:
    EditorControls(AnnotationCanvas& canvas, AnnotationDocument& document, EditorMode mode,
                   EditorStatusHooks status, QWidget* parent);
    ~EditorControls() override;

    EditorControlsModel& model() { return m_model; }
    EditorMode mode() const { return m_mode; }

    // Each a QWidget with a QHBoxLayout, children of the parent given at
    // construction until the window places them.
    QWidget* toolRow() const { return m_toolRow; }
    QWidget* styleRow() const { return m_styleRow; }
    QWidget* optionRow() const { return m_optionRow; }
    QWidget* markupRow() const { return m_markupRow; }

    // Fills the rows with the tool buttons and the style controls; once.
    void buildStyles();
    // Adds a widget of the window's own to the end of the tool row, with
    // `spacingAfter` points after it instead of the row's spacing.
    void appendToToolRow(QWidget* widget, int spacingAfter = -1);
    // The screenshot editor's and the pin's tool bar: the tool row emptied
    // and refilled with icon-only tools, undo and redo, pin, save, the
    // primary button and close. Widgets it drops are kept hidden.
    void configureFloatingTools(const FloatingToolButtons& buttons);
    // The compact markup row: three colour swatches and two arrow samples.
    void buildMarkupOptions();
    void updateMarkupOptions(bool editing);
    // Mirrors the canvas's current tool and style into the controls.
    void update();
    bool styleRowVisible() const;
    // The canvas's "[", "]" and digit keys.
    void changeStyleKey(std::optional<double> widthStep, std::optional<int> colorIndex);

    ScreenshotColorWell* colorWell() const { return m_colorWell; }
    void suspendColorWell();
    // The well is active and the shared colour panel is showing.
    bool colorPanelActive() const;

    // The controls themselves, for the window and for tests.
    QAbstractButton* toolButton(AnnotationTool tool) const;
    StyleSlider* widthSlider() const { return m_widthSlider; }
    StyleSlider* brushSlider() const { return m_brushWidth; }
    StyleSlider* cornerSlider() const { return m_cornerSlider; }
    QLabel* widthTitle() const { return m_widthTitle; }
    QLabel* widthLabel() const { return m_widthLabel; }
    QLineEdit* field(StyleField field) const;
    QLabel* numberLabel() const { return m_numberLabel; }
    const std::array<QPushButton*, 4>& presetButtons() const { return m_presetButtons; }
    const QList<QPushButton*>& paletteButtons() const { return m_paletteButtons; }
    QWidget* paletteTray() const { return m_paletteTray; }
    SegmentedControl* fillButton() const { return m_fillButton; }
    SegmentedControl* dashButton() const { return m_dashButton; }
    SegmentedControl* arrowPicker() const { return m_arrowPicker; }
    SegmentedControl* maskPicker() const { return m_maskPicker; }
    SegmentedControl* maskMode() const { return m_maskMode; }
    QPushButton* boldButton() const { return m_boldButton; }
    QPushButton* textBackgroundButton() const { return m_textBackground; }
    const QList<ToolbarButton*>& markupSwatches() const { return m_markupSwatches; }
    const QList<ToolbarButton*>& arrowSamples() const { return m_arrowSamples; }

private:
    void createControls();
    void createToolButtons();
    QPushButton* makePushButton(const QString& title);
    void connectSlider(StyleSlider* slider, void (EditorControlsModel::*action)(double));
    void connectField(QLineEdit* field, StyleField kind);
    void commitField(QLineEdit* field, StyleField kind);
    // Runs an action, then shows its result.
    template<typename Action> void act(Action action);
    void showState(const StyleControlsState& state);
    void refreshPresetIcons();
    void refreshMarkupStates();
    void setOn(QAbstractButton* button, bool on);
    void stash(QWidget* widget);

    AnnotationCanvas& m_canvas;
    const EditorMode m_mode;
    EditorControlsModel m_model;

    // Owns the rows when no parent was given.
    std::unique_ptr<QWidget> m_ownedRoot;
    QWidget* m_root = nullptr;
    // Holds, hidden, the controls until buildStyles() places them, and the
    // widgets the floating tool bar drops.
    QWidget* m_stash = nullptr;

    QWidget* m_toolRow = nullptr;
    QWidget* m_styleRow = nullptr;
    QWidget* m_optionRow = nullptr;
    QWidget* m_markupRow = nullptr;
    bool m_built = false;
    bool m_markupBuilt = false;
    bool m_editing = true;

    std::map<AnnotationTool, QAbstractButton*> m_toolButtons;
    StyleSlider* m_widthSlider = nullptr;
    QLabel* m_widthTitle = nullptr;
    QLabel* m_widthLabel = nullptr;
    QLineEdit* m_strokeWidthField = nullptr;
    std::array<QPushButton*, 4> m_presetButtons{};
    std::array<StyleControlsState::Preset, 4> m_presets{};
    // The presets are a highlight's, whose sample lines are drawn thinner.
    bool m_thinPresets = false;
    SegmentedControl* m_maskPicker = nullptr;
    SegmentedControl* m_maskMode = nullptr;
    StyleSlider* m_brushWidth = nullptr;
    QLabel* m_brushLabel = nullptr;
    ScreenshotColorWell* m_colorWell = nullptr;
    SegmentedControl* m_fillButton = nullptr;
    SegmentedControl* m_dashButton = nullptr;
    QLabel* m_lineTitle = nullptr;
    QLabel* m_fillTitle = nullptr;
    StyleSlider* m_cornerSlider = nullptr;
    QLabel* m_cornerLabel = nullptr;
    SegmentedControl* m_arrowPicker = nullptr;
    QLabel* m_arrowTitle = nullptr;
    QLabel* m_numberLabel = nullptr;
    QLineEdit* m_numberField = nullptr;
    QPushButton* m_boldButton = nullptr;
    QPushButton* m_textBackground = nullptr;
    QLineEdit* m_fontSizeField = nullptr;
    QWidget* m_paletteTray = nullptr;
    QList<QPushButton*> m_paletteButtons;
    // The palette buttons and the colour well.
    QList<QWidget*> m_colorControls;
    QList<ToolbarButton*> m_markupSwatches;
    QList<ToolbarButton*> m_arrowSamples;
};

} // namespace kelpie
