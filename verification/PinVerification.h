#pragma once

#include "geometry/Rect.h"
#include "settings/ScratchPreferences.h"
#include "verification/VerificationReport.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QWidget;

namespace kelpie {

class ImageWindow;
class RoutineSteps;
class TextRecognizer;

// The pin check: pins the fixture on the first display where the pin
// layout puts it, in a real pinned editor window with its chrome and live
// text and a private preferences suite, waits for the text to be read, and
// then observes the pin: it floats above an ordinary window of this process
// and stays off the task bar, the picture fills it edge to edge at the
// picture's aspect, its opacity and zoom change the view but never the PNG
// it exports, Space switches it between viewing and editing, its chrome
// shows while it has the keyboard and moves with it, and closing it takes
// the chrome along. Only the fixture and windows of this process are used;
// the exported PNGs stay in memory, never on the system clipboard.
//
// With a kept preview, a full-screen backdrop window is shown first and the
// pin is left open over it after the report is written; the suite goes when
// the pin is closed.
class PinVerification final : public QObject {
    Q_OBJECT

public:
    static constexpr const char* suitePrefix = "com.kelpie.pin-check.";

    // Runs the check on the main thread's event loop and writes its report
    // to `reportPath`; `done` learns whether the check passed and its report
    // was written. `recognizer` reads the pin's text (none: no live text,
    // and the check of the recognition fails).
    static void run(const QImage& image, const QString& reportPath, bool keepPreview,
                    std::shared_ptr<TextRecognizer> recognizer,
                    std::function<void(bool succeeded)> done);

    ~PinVerification() override;

private:
    class HeldClipboard;

    PinVerification(const QImage& image, const QString& reportPath, bool keepPreview,
                    std::shared_ptr<TextRecognizer> recognizer,
                    std::function<void(bool succeeded)> done);

    bool open();
    void script();
    void checkRecognition(bool inTime);
    void checkPlacement();
    void checkFloating(bool inTime);
    void checkOpacity();
    void checkZoom();
    void zoomBack();
    void checkEditing();
    void checkChromeFollows();
    void checkClosing();
    void finish();
    void pinClosed();

    // The pin window's frame in desktop space.
    Rect pinFrame() const;
    // What the pin exports now: the PNG its copy command writes.
    QByteArray exportedPng();
    QWidget* pinWindow() const;
    QWidget* primaryPanel() const;
    void sendKey(int key, const QString& text);

    QImage m_image;
    QString m_reportPath;
    bool m_keepPreview;
    std::shared_ptr<TextRecognizer> m_recognizer;
    std::function<void(bool)> m_done;
    VerificationReport m_report;
    std::optional<ScratchPreferences> m_scratch;
    std::shared_ptr<HeldClipboard> m_clipboard;
    RoutineSteps* m_steps = nullptr;
    // Ordinary windows of this process: one laid over the pin, and the
    // full-screen backdrop of a kept preview.
    std::unique_ptr<QWidget> m_cover;
    std::unique_ptr<QWidget> m_backdrop;
    std::unique_ptr<ImageWindow> m_pin;
    Rect m_expectedFrame;
    QByteArray m_firstExport;
    int m_closes = 0;
    bool m_finished = false;
};

} // namespace kelpie
