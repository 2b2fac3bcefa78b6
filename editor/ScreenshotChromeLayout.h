#pragma once

class QWidget;

namespace kelpie {

class CoreSurfaceView;
class FloatingControls;
class ScreenshotStatus;
class ScreenshotView;

// What the screenshot editor places around its crop, and the few facts of
// the editor the placement depends on.
struct ScreenshotChromeParts {
    QWidget* canvas = nullptr;
    // The live-text overlay over the canvas; may be absent.
    QWidget* overlay = nullptr;
    CoreSurfaceView* toolbarPanel = nullptr;
    CoreSurfaceView* parametersPanel = nullptr;
    FloatingControls* toolbarContent = nullptr;
    FloatingControls* parametersContent = nullptr;
    ScreenshotStatus* status = nullptr;
    bool markupRowVisible = false;
    bool documentHasObjects = false;
    // A gesture on the canvas is in progress.
    bool canvasHasDraft = false;
    // The status shows only routine news (the size, "正在识别文字…").
    bool hidesRoutineStatus = false;
};

// Lays the screenshot editor out on its view: the canvas over the crop,
// rounded like it, the tool bar and the parameter panel beside it, the
// status next to the tool bar, and whether the crop may be adjusted. With
// no possible placement the canvas and the panels are hidden. The editor
// calls it whenever its controls, the view's layout or the status change.
void layoutScreenshot(ScreenshotView& view, const ScreenshotChromeParts& parts);

} // namespace kelpie
