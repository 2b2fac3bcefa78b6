#pragma once

#include "app/LaunchOptions.h"
#include "app/MainMenuKeys.h"
#include "capture/DisplayCapture.h"
#include "capture/WindowCapture.h"
#include "geometry/Rect.h"
#include "editor/ImageWindow.h"
#include "overlay/SelectionAction.h"
#include "overlay/SelectionWindow.h"
#include "settings/HotkeyManager.h"

#include <QFuture>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QUuid>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QScreen;
class QTimer;

namespace kelpie {

class AnnotationDocument;
class AppAlerts;
class AppPreferences;
class AppTray;
class ImageClipboard;
class MenuKeyDispatcher;
class SelectionWindowShelf;
class SettingsWindow;
class TextRecognizer;
struct ScreenshotPresentation;

// The spine of the program: the tray menu and the hot keys start a capture
// of the screen under the pointer, the frozen screen is covered with the
// overlay, and the overlay's result becomes an editor, a clipboard write, a
// save or a pin. It owns the one overlay that may be on screen, every open
// editor and pin, and the settings window. Everything runs on the main
// thread; capture results are used only while the generation they started
// under is still current.
class AppController : public QObject {
    Q_OBJECT
public:
    // What the controller works with; tests stand fakes in for the window
    // system's services.
    struct Services {
        std::shared_ptr<CaptureService> capture;
        std::unique_ptr<HotkeyService> hotkeys;
        std::shared_ptr<AppPreferences> preferences;
        std::shared_ptr<AppAlerts> alerts;
        std::shared_ptr<ImageClipboard> clipboard;
        // The pointer in the toolkit's global coordinates.
        std::function<QPoint()> pointer;
        // False where no tray can exist (tests on the offscreen platform).
        bool tray = true;
        // False where the desktop lets no program register global
        // shortcuts: its own keyboard settings then run
        // `kelpie --capture-now`, and the tray menu says how.
        bool globalShortcuts = true;
        // True where the desktop, not Kelpie, decides which keys run the
        // shortcuts (a portal, or its own keyboard settings): the settings
        // window then opens the desktop's shortcut settings instead of
        // recording keys.
        bool desktopDecidesShortcuts = false;
        // Makes the text recogniser that every open editor and pin shares,
        // when the first of them opens; it goes, models and all, when the
        // last of them has closed. Unset means no live text.
        std::function<std::shared_ptr<TextRecognizer>()> textRecognizer;
    };

    AppController(Services services, QStringList arguments);
    ~AppController() override;

    // Builds the tray, applies the hot keys, watches the screens, and starts
    // a capture at once when asked to on the command line.
    void launch();
    // Tears everything down; the process may end afterwards.
    void terminate();

public Q_SLOTS:
    void capture();
    void pinClipboard();
    void openSettings();
    void quit();
    void screenChanged();

public:
    // The pin hot key: the overlay's region, else the focused editor, else
    // the clipboard.
    void pinCurrentOrClipboard();
    // Opens an editor (or a pin) on `document` and keeps it until it closes.
    ImageWindow* showDocument(std::unique_ptr<AnnotationDocument> document, bool pinned,
                              std::shared_ptr<AppPreferences> preferences,
                              std::optional<ScreenshotPresentation> screenshot,
                              std::optional<Rect> pinFrame);
    // Carries out a main-menu command for `window`, the window with the
    // keyboard: an editor or pin, the overlay, or (for the tray menu's
    // commands) the application. False when nothing there takes it.
    bool performMenuCommand(MenuCommand command, QWidget* window);
    // Registers the two shortcuts (and the fallback); the warning row's text
    // when that fails or the desktop binds keys only in its own settings.
    std::optional<QString> applyShortcuts(const AppShortcut& capture, const AppShortcut& pin);
    // Shows or removes the disabled warning row of the tray menu.
    void updateHotkeyWarning(const std::optional<QString>& message);
    void showPermissionGuide();
    // The desktop's own keyboard-shortcut settings, or an alert saying how
    // to get there when no settings program is known.
    void openDesktopShortcutSettings();

    // The value following the first occurrence of `flag`, absent when the
    // flag is missing or is the last argument.
    std::optional<QString> argument(const QString& flag) const;

    // Where the launch stands: done (the menu built, and the hot keys
    // registered or their warning row shown), the tray item shown by a tray
    // host, how many hot keys are registered and the warning row's text.
    struct ReadyState {
        bool ready = false;
        bool statusButtonAttached = false;
        int registeredHotkeys = 0;
        std::optional<QString> hotkeyWarning;
    };
    ReadyState readyState() const;

    // Whether a text recogniser exists, shared by the open windows.
    bool holdsTextRecognizer() const { return !m_textRecognizer.expired(); }

    // Read by tests and the verification routines.
    SelectionWindow* selectionWindow() const { return m_selectionWindow; }
    // Where every screen is frozen at once: the overlays of the screens the
    // pointer is not on; entering one makes it the selection window.
    const std::vector<QPointer<SelectionWindow>>& otherOverlays() const { return m_otherOverlays; }
    // The frozen screen under the overlay, null while none is shown.
    const QImage& selectionImage() const { return m_selectionImage; }
    const std::map<QUuid, QPointer<ImageWindow>>& imageWindows() const { return m_imageWindows; }
    std::int64_t captureGeneration() const { return m_captureGeneration; }
    AppTray* tray() const { return m_tray.get(); }
    // The window system's capture service every capture goes through.
    const std::shared_ptr<CaptureService>& captureService() const { return m_captureService; }
    HotkeyManager& hotkeys() { return m_hotkeys; }
    SettingsWindow* settings() const { return m_settings.get(); }
    // A test image that stands in for the live display.
    void setFixture(const QImage& fixture) { m_fixture = fixture; }
    // A scratch preferences suite made for a verification run; its file is
    // removed when the controller terminates.
    void setVerificationPreferencesSuite(const QString& name) { m_verificationSuite = name; }
    const std::optional<QString>& verificationPreferencesSuite() const
    {
        return m_verificationSuite;
    }

Q_SIGNALS:
    // A capture's overlay is on screen (after presentSelection).
    void selectionPresented();
    // A window from showDocument is open.
    void documentShown(ImageWindow* window);

private:
    // What callbacks hold instead of the controller: empty once it is gone.
    using Weak = std::weak_ptr<AppController*>;
    static AppController* alive(const Weak& self);

    void cancelCapture();
    void trimHeapIfIdle();
    void captureEveryScreen(QScreen* pointerScreen, std::function<void()> retire);
    void captureFailed(CaptureError error);
    // The current overlays, handed over and forgotten.
    std::vector<QPointer<SelectionWindow>> takeOverlays();
    void closeOverlays(const std::vector<QPointer<SelectionWindow>>& overlays);
    void prepareOverlay(QScreen* screen);
    void dropPreparedOverlays();
    SelectionWindow* takePreparedOverlay(QScreen* screen);
    SelectionWindow* makeOverlay(const QImage& image, QScreen* screen,
                                 const std::vector<WindowTarget>& targets);
    // Makes one of the other overlays the selection window.
    void activateOverlay(SelectionWindow* window);
    void presentSelection(const QImage& image, QScreen* screen,
                          const std::vector<WindowTarget>& targets);
    void confirm(const QImage& crop, const Rect& rect, const SelectionAction& action);
    void pickWindow(const WindowTarget& target);
    void windowCaptured(const WindowCapture::Outcome& outcome, std::int64_t generation);
    void copyCrop(const QImage& crop, const ScreenshotPresentation& presentation);
    bool reselect(const QUuid& id, const ScreenshotPresentation& screenshot,
                  const std::shared_ptr<AppPreferences>& preferences, const Rect& region);
    ImageWindow* openEditor(const QImage& crop, const ScreenshotPresentation& presentation);
    void pinImage(const QImage& image);
    void hotkeyAction(HotkeyManager::Action action);
    bool performInOverlay(MenuCommand command);
    bool performInImageWindow(MenuCommand command, ImageWindow& window);
    std::optional<QString> applyStoredShortcuts();
    void settingsClosed();
    void watchScreens();
    QScreen* screenUnderPointer() const;
    // The open editors and pins, in the table's order.
    std::vector<ImageWindow*> openWindows() const;
    bool screenMatches(std::uint32_t displayID, const Rect& frame) const;
    Rect desktopFrame(const QScreen* screen) const;
    std::shared_ptr<TextRecognizer> textRecognizer();

    LaunchOptions m_options;
    std::shared_ptr<CaptureService> m_captureService;
    std::shared_ptr<AppPreferences> m_preferences;
    std::shared_ptr<AppAlerts> m_alerts;
    std::shared_ptr<ImageClipboard> m_clipboard;
    std::function<QPoint()> m_pointer;
    bool m_trayWanted;
    bool m_globalShortcuts;
    bool m_desktopDecidesShortcuts;
    std::function<std::shared_ptr<TextRecognizer>()> m_makeTextRecognizer;
    // Held by the open windows only: the recogniser's models (over 100 MB)
    // are not kept for a tray icon that may sit idle for days.
    std::weak_ptr<TextRecognizer> m_textRecognizer;

    std::unique_ptr<AppTray> m_tray;
    std::unique_ptr<MenuKeyDispatcher> m_menuKeys;
    // Hands the heap's free pages back once a capture has ended and nothing
    // followed it for a moment.
    QTimer* m_trimAfterCapture = nullptr;
    // Overlays of the last capture, kept hidden a moment for the next one.
    SelectionWindowShelf* m_overlayShelf = nullptr;
    // Owned; the overlay never closes itself.
    SelectionWindow* m_selectionWindow = nullptr;
    std::vector<QPointer<SelectionWindow>> m_otherOverlays;
    // Overlays made ready for the screens a running capture reads, taken by
    // makeOverlay() when the pictures arrive; the rest go with the capture.
    std::vector<QPointer<SelectionWindow>> m_preparedOverlays;
    // The screen frame and display number the overlay was opened for.
    Rect m_selectionFrame;
    std::uint32_t m_selectionDisplay = 0;
    QImage m_selectionImage;
    std::map<QUuid, QPointer<ImageWindow>> m_imageWindows;
    HotkeyManager m_hotkeys;
    std::unique_ptr<SettingsWindow> m_settings;
    std::vector<QUuid> m_editorsHiddenForSettings;
    QFuture<void> m_captureTask;
    std::optional<QImage> m_fixture;
    std::optional<QString> m_verificationSuite;
    std::int64_t m_captureGeneration = 0;
    bool m_launched = false;
    bool m_terminated = false;
    std::shared_ptr<AppController*> m_self;
};

} // namespace kelpie
