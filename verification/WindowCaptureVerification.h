#pragma once

#include "capture/WindowCapture.h"
#include "verification/VerificationReport.h"

#include <QFuture>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QProcess;
class QWidget;

namespace kelpie {

class CaptureService;
class RoutineSteps;

// The window-capture check ("--window-smoke-test REPORT" with a fixture):
// captures windows through the real window capture path (WindowCapture over
// the window system's capture service) and checks what comes back.
//
// 1. A window of this process shows the fixture (a coloured square marking
//    each corner), one image pixel per device pixel, with a second window of this process in a solid colour over its
//    middle. Its capture must be the window's exact pixels, size and place
//    ("actual_system_window_capture"), and where the other window covers it
//    the capture still shows the fixture, not the cover: only the source
//    window's own pixels ("source_owner_only").
// 2. A window of another process (a small program started for the check)
//    is listed with its owner; asked for with this process as its owner,
//    and this process's window asked for with the other process as owner,
//    the capture fails as missing ("wrong_owner_rejected").
// 3. The covering window hidden and the fixture window destroyed, capturing
//    either fails as missing ("closed_window_rejected").
//
// Only the fixture and this process's windows are captured (`fixture_only`
// true): the other process's pixels are never read. Without screen access
// the report says so instead ("skipped", "existing_authorization_missing").
class WindowCaptureVerification final : public QObject {
    Q_OBJECT
public:
    struct Options {
        // The other owner: a program that shows one window until it is
        // ended. xmessage when unset.
        QString otherOwnerProgram;
        QStringList otherOwnerArguments;
        // How long a window may take to appear, and one capture to finish.
        std::chrono::milliseconds patience{15000};
    };

    static QString windowTitle(); // "Kelpie · 窗口样本"

    // Runs the check on the main thread; `done` learns whether it passed and
    // its report was written. Returns at once.
    static void run(std::shared_ptr<CaptureService> service, const QImage& fixture,
                    const QString& reportPath, std::function<void(bool passed)> done,
                    Options options);
    static void run(std::shared_ptr<CaptureService> service, const QImage& fixture,
                    const QString& reportPath, std::function<void(bool passed)> done)
    {
        run(std::move(service), fixture, reportPath, std::move(done), Options{});
    }

    // Whether `captured` shows `expected` where `cover` (a rectangle of
    // `captured`'s pixels) lies and everywhere else, sampled on a grid:
    // `sampledCovered` counts the samples that fell under the cover.
    struct Comparison {
        bool sameSize = false;
        bool matches = false;
        int samples = 0;
        int sampledCovered = 0;
    };
    static Comparison compare(const QImage& captured, const QImage& expected, const QRect& cover);

private:
    WindowCaptureVerification(std::shared_ptr<CaptureService> service, const QImage& fixture,
                              QString reportPath, std::function<void(bool)> done,
                              Options options);
    ~WindowCaptureVerification() override;

    void script();
    void showWindows();
    // Lists the windows until `ready` holds for the listing, at most for the patience.
    void scriptListing(std::function<bool(const ShareableContent&)> ready, std::function<void(bool)> after);
    void scriptCapture(std::function<std::pair<std::uint32_t, std::int32_t>()> target,
                       std::function<void(const std::optional<WindowCapture::Outcome>&)> after);
    void checkOwnCapture(const std::optional<WindowCapture::Outcome>& outcome);
    void startOtherOwner();
    void closeWindows();
    void finish();

    std::shared_ptr<CaptureService> m_service;
    QImage m_fixture;
    QString m_reportPath;
    std::function<void(bool)> m_done;
    Options m_options;
    VerificationReport m_report;
    RoutineSteps* m_steps = nullptr;

    QPointer<QWidget> m_source;
    QPointer<QWidget> m_cover;
    std::uint32_t m_sourceID = 0;
    std::uint32_t m_coverID = 0;
    // The cover's place in the source's pixels.
    QRect m_coverInSource;
    std::optional<ShareableContent> m_listing;
    QProcess* m_other = nullptr;
    std::optional<std::int32_t> m_otherPID;
    std::uint32_t m_otherID = 0;
    bool m_wrongOwnerRejected = true;
    bool m_closedRejected = true;
};

} // namespace kelpie
