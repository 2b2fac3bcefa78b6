#pragma once

#include "annotation/AnnotationColor.h"
#include "annotation/AnnotationStyle.h"
#include "annotation/AnnotationTool.h"
#include "editor/EditorMode.h"

#include <QString>
#include <QtGlobal>

#include <array>

namespace kelpie {

// What the style controls show for the current tool and style: which
// controls are visible, their values, titles and tooltips. Made by a pure
// function so that the rules are tested without widgets; EditorControls
// copies it into its widgets.
struct StyleControlsState {
    struct Input {
        EditorMode mode = EditorMode::plain;
        // The canvas's current tool and style.
        AnnotationTool tool = AnnotationTool::select;
        AnnotationStyle style;
        bool hasSelection = false;
        // The selection is a number badge.
        bool numberSelected = false;
        // The selected badge's number, else the document's next number.
        qint64 number = 1;
        double defaultStyleScale = 1;
    };

    struct Preset {
        bool visible = false;
        int value = 0;
        // A stroke sample is shown instead of the number.
        bool icon = false;
        QString tooltip;
        QString identifier;
    };

    static StyleControlsState make(const Input& input);

    AnnotationTool tool = AnnotationTool::select;

    // Only the plain editor shows the style rows, and only for drawing tools.
    bool styleRowVisible = false;
    bool optionRowVisible = false;

    // The width group: title, slider and the label beside it.
    bool widthVisible = false;
    QString widthTitle;
    int sliderMinimum = 1;
    int sliderMaximum = 80;
    double sliderValue = 0;
    QString widthLabel;
    std::array<Preset, 4> presets;

    bool strokeFieldVisible = false;
    QString strokeFieldText;
    bool fontFieldVisible = false;
    QString fontFieldText;

    // The palette tray and the colour well.
    bool colorVisible = false;
    AnnotationColor color = AnnotationColor::palette[0];

    bool maskPickerVisible = false;
    int maskEffectSegment = 0;
    bool maskModeVisible = false;
    int maskModeSegment = 0;
    bool brushVisible = false;
    double brushValue = 0;

    bool fillVisible = false;
    int fillSegment = 0;
    bool dashVisible = false;
    int dashSegment = 0;
    bool cornerVisible = false;
    double cornerValue = 0;
    bool arrowVisible = false;
    int arrowSegment = 0;

    bool numberVisible = false;
    QString numberTitle;
    QString numberText;

    bool textStyleVisible = false;
    bool bold = false;
    bool textBackground = false;
};

// A size as the controls show it: the nearest whole number.
QString sizeText(double value);

} // namespace kelpie
