#pragma once

#include "editor/ControlSymbol.h"
#include "editor/EditorMode.h"
#include "editor/ImageWindowDrag.h"
#include "editor/ImageWindowKeys.h"
#include "editor/ImageWindowMenu.h"
#include "editor/SecretCommand.h"
#include "editor/OutputHost.h"
#include "editor/ScreenshotChromeLayout.h"
#include "editor/ScreenshotPresentation.h"
#include "geometry/Rect.h"

#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QAbstractButton;
class QMenu;
class QMouseEvent;
class QScreen;
class QTimer;

namespace kelpie {

class AnnotationCanvas;
class AnnotationDocument;
class AnnotationWindow;
class AppPreferences;
class CoreSurfaceView;
class EditorControls;
class FloatingControls;
class ImageClipboard;
class ImageOutputs;
class LiveTextOverlay;
class LiveTextSession;
class SecretPreviewLayer;
class PinSurface;
class SavePanel;
class ScreenshotStatus;
class ScreenshotView;
class TextRecognizer;
struct TextAnalysis;
class ToolbarButton;

// The controller of one window that shows an annotation document on a
// canvas and offers its outputs. One class serves three presentations,
// chosen at construction and never changed: the plain editor (a normal
// titled window), the screenshot editor (a borderless window over the whole
// screen of the capture, the crop at its source position) and the pinned
// image (a frameless, floating, translucent window that starts out viewing
// and can be switched to editing).
//
// The owner installs the callbacks after construction and drops the window
// when onClose fires (it may do so from inside onClose). Every callback the
// window installs on its parts holds it weakly and does nothing once it is
// gone. Frames given to and taken from the window (pinFrame,
// suggestedPinFrame) are in desktop space: points, origin at the primary
// screen's bottom-left, y up.
//
// Given a text recogniser, the window reads the text of its picture after
// every change and lays a live-text overlay over the canvas, so that the
// user can select and copy it; without one there is no live text and the
// status says only the picture's size. Recognised text lives in memory
// only, and goes when the window closes.
class ImageWindow final : public QObject, public OutputHost {
    Q_OBJECT

public:
    ImageWindow(std::unique_ptr<AnnotationDocument> document, bool pinned,
                std::shared_ptr<AppPreferences> preferences,
                std::optional<ScreenshotPresentation> screenshot = std::nullopt,
                std::optional<Rect> pinFrame = std::nullopt,
                std::shared_ptr<ImageClipboard> clipboard = nullptr,
                std::shared_ptr<SavePanel> savePanel = nullptr,
                std::shared_ptr<TextRecognizer> recognizer = nullptr);
    // A plain editor or pin of a new document on `image`.
    ImageWindow(const QImage& image, bool pinned, std::shared_ptr<AppPreferences> preferences);
    ~ImageWindow() override;

    ImageWindow(const ImageWindow&) = delete;
    ImageWindow& operator=(const ImageWindow&) = delete;

    // --- callbacks installed by the owner --------------------------------
    std::function<void()> onClose;
    // Asks the owner to open a pin of the given (independent) document.
    std::function<void(std::unique_ptr<AnnotationDocument>)> onPin;
    // In-place re-crop of the screenshot editor; true when the owner
    // replaces this editor with one on the new region.
    std::function<bool(const Rect& region)> onReselect;

    // --- state -------------------------------------------------------------
    EditorMode mode() const { return m_mode; }
    bool isPinned() const override { return m_mode == EditorMode::pinned; }
    bool isScreenshot() const override { return m_mode == EditorMode::screenshot; }
    bool isClosed() const override { return m_closed; }
    bool editing() const { return m_editing; }
    int generation() const { return m_generation; }
    AnnotationDocument& document() const;
    AnnotationWindow* window() const;
    AnnotationCanvas* canvas() const { return m_canvas; }
    EditorControls& controls() const;
    // The content view in the screenshot editor; null otherwise.
    ScreenshotView* screenshotView() const { return m_screenshotView; }
    QString statusText() const;
    // The pin frame this window suggests: the canvas's content in desktop
    // space; absent without a window.
    std::optional<Rect> suggestedPinFrame() const;

    // The live-text layer over the canvas and the recognition behind it;
    // null without a recogniser, and every query treats that as hidden with
    // no text.
    LiveTextOverlay* overlay() const;
    LiveTextSession* liveText() const { return m_liveText; }
    // "遮盖敏感信息": its state, and the layer that shows its preview.
    const SecretCommand& secretCommand() const { return m_secrets; }
    SecretPreviewLayer* secretLayer() const { return m_secretLayer; }

    // --- texts ---------------------------------------------------------------
    QString imageDimensions() const;
    QString contextualStatus() const;
    bool hidesRoutineStatus() const;

    // --- actions -----------------------------------------------------------
    void updateControls();
    void updateCopyTitle();
    void toggleEditing();
    void cancelOperation();
    void finishText();
    void cancelText();
    void undo();
    void redo();
    void zoom(double factor);
    // Sets the window frame (Qt logical geometry): a pin through the pin
    // layout rule, any other window kept inside its screen's visible area.
    void setVisibleFrame(const Rect& frame);
    void opacityPreset(int percent);
    void changeOpacity(double opacity);
    // The opacity last set, exactly: the window system keeps only eight
    // bits of it, so 0.5 would read back as 0.498.
    double opacity() const { return m_opacity; }
    void close();

    // --- outputs (copy, save, pin), forwarded to ImageOutputs ---------------
    std::optional<QImage> stableImage();
    // The menu's "copy image": the composite, closing unless pinned.
    void copyImage();
    // The "copy" action: selected text, else the composite (the plain
    // editor closes after an image copy).
    void copy();
    // The copy button outside the plain editor.
    void toolbarCopy();
    // Return in the screenshot editor: copy, then close.
    void completeScreenshot();
    void saveImage();
    void saveDocument() { saveImage(); }
    void pinImage();
    void closeImage() { close(); }

    // Display changes and the settings window (screenshot editor only).
    void preserveScreenshotAfterScreenChange();
    void suspendScreenshotForSettings();

    // Text recognition: invalidateRecognition() raises the generation so
    // that results of an earlier request are dropped, clears the overlay and
    // says what is going on; recognize() then reads the current composite
    // off the main thread. Without a recogniser nothing claims to recognise.
    void recognize();
    void invalidateRecognition();
    // Live-text commands: the selection or the whole recognised text to the
    // clipboard as plain text, with the status saying how it went.
    void copySelectedText();
    void copyAllText();
    // Selects the whole recognised text while the overlay shows it.
    void selectAll();
    // Finds the secrets in the live text (waiting for it when it is still
    // being recognised) and shows them for confirmation: Return masks the
    // ones left marked as one undo step, Escape leaves the picture alone.
    void maskSecrets();

    // --- menus and keys ------------------------------------------------------
    // The window as its menus see it.
    ImageWindowMenu::State menuState() const;
    bool validateMenuItem(ImageWindowMenu::Action action) const;
    // A new context menu for the canvas, owned by the caller.
    QMenu* makeContextMenu();
    // Runs a menu command as its item would, if it is enabled.
    void perform(ImageWindowMenu::Action action, int tag = 0);
    // Runs the command of a key equivalent; false when there is none.
    bool performKeyCommand(ImageWindowKeys::Command command);

    // --- OutputHost ----------------------------------------------------------
    bool isAdjusting() const override;
    bool hasDraft() const override;
    bool inTransaction() const override;
    std::optional<QImage> composite() const override;
    bool textBeingTyped() const override;
    bool finishTextEditing() override;
    QString selectedLiveText() const override;
    void setStatus(const QString& text) override;
    void closeWindow() override;
    void pinDocumentCopy() override;
    QWidget* dialogParent() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Parts;

    // Construction, in order.
    void createWindow(const std::optional<Rect>& pinFrame);
    void createContent();
    void createButtons();
    void layOutPlain();
    void layOutScreenshot();
    void layOutPinned();
    void installCallbacks();
    void show();

    // Button factories: push buttons in the plain editor, tool-bar
    // buttons elsewhere.
    QAbstractButton* button(const QString& title);
    QAbstractButton* iconButton(ControlSymbol symbol, const QString& tooltip);

    // Window delegate.
    void windowWillClose();
    void windowDidMove();
    void windowDidResize();
    void windowDidEndLiveResize();
    void windowKeyChanged();

    // Runs `body` on this window while it exists; what the window's parts
    // hold instead of the window itself.
    std::function<void(const std::function<void(ImageWindow&)>&)> weakly() const;
    void statusChanged();
    void layoutPin();
    void layoutScreenshot();
    void refitOverlay();
    void createLiveText(std::shared_ptr<TextRecognizer> recognizer);
    void showContextMenu(const QPoint& at);
    void showAnalysis(std::shared_ptr<const TextAnalysis> analysis, QSize imageSize);
    // Return, Enter and Escape while the secrets command is active.
    bool handleSecretKey(const QKeyEvent& event);
    // Shows the secrets command's preview and status after it changed.
    void secretsChanged();
    void backgroundDrag(QMouseEvent* event);
    ScreenshotChromeParts chromeParts() const;
    CoreSurfaceView* makePanel(QWidget* rows, bool primary, FloatingControls** content);
    void updateOutputButtons();
    void updateUndoRedo();
    bool overlayVisible() const;
    QScreen* screen() const;
    // The pin layout's frame for a preferred frame, both in Qt logical geometry.
    Rect pinFrameFor(const Rect& logical) const;
    // The screen's backing scale and visible frame in desktop space, with
    // the fallback for a machine with no screen at all.
    double backingScale() const;
    Rect visibleDesktopFrame() const;

    EditorMode m_mode;
    std::shared_ptr<AppPreferences> m_preferences;
    std::optional<ScreenshotPresentation> m_screenshot;
    std::shared_ptr<ImageClipboard> m_clipboard;
    std::shared_ptr<SavePanel> m_savePanel;
    std::unique_ptr<Parts> m_parts;
    // Alive exactly as long as this window; the parts' callbacks hold it weakly.
    std::shared_ptr<ImageWindow*> m_self;

    AnnotationCanvas* m_canvas = nullptr;
    ScreenshotStatus* m_status = nullptr;
    PinSurface* m_pinSurface = nullptr;
    ScreenshotView* m_screenshotView = nullptr;
    CoreSurfaceView* m_toolbarPanel = nullptr;
    CoreSurfaceView* m_parametersPanel = nullptr;
    FloatingControls* m_toolbarContent = nullptr;
    FloatingControls* m_parametersContent = nullptr;
    QWidget* m_content = nullptr;
    QWidget* m_toolRow = nullptr;
    QWidget* m_viewerRow = nullptr;
    QWidget* m_styleRow = nullptr;
    QWidget* m_optionRow = nullptr;
    QWidget* m_markupRow = nullptr;
    QAbstractButton* m_copyButton = nullptr;
    QAbstractButton* m_pinButton = nullptr;
    QAbstractButton* m_saveButton = nullptr;
    QAbstractButton* m_donePinButton = nullptr;
    QAbstractButton* m_finishTextButton = nullptr;
    QAbstractButton* m_cancelTextButton = nullptr;
    QAbstractButton* m_undoButton = nullptr;
    QAbstractButton* m_redoButton = nullptr;
    QAbstractButton* m_maskSecretsButton = nullptr;
    ToolbarButton* m_editButton = nullptr;
    QAbstractButton* m_viewerSaveButton = nullptr;
    // The floating tool bar's close button.
    QAbstractButton* m_closeButton = nullptr;
    // Holds the plain editor's style and option rows, which a pin never shows.
    QWidget* m_plainRows = nullptr;
    QTimer* m_liveResizeEnd = nullptr;

    // Children of the canvas and of this window; null without a recogniser.
    LiveTextOverlay* m_overlay = nullptr;
    LiveTextSession* m_liveText = nullptr;
    SecretCommand m_secrets;
    SecretPreviewLayer* m_secretLayer = nullptr;
    // What the secrets command last did, kept on the status line until the
    // recognition its masks started has finished.
    QString m_secretsNotice;
    double m_opacity = 1;
    bool m_editing;
    int m_generation = 0;
    bool m_closed = false;
    ImageWindowDrag m_drag;
    bool m_laidOut = false;
};

} // namespace kelpie
