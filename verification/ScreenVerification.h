#pragma once

#include <QImage>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace kelpie {

class CaptureService;
class TextRecognizer;

// The multi-display check: a window of this process showing the fixture is
// moved to each screen in turn, captured there through the real window and
// display capture paths, and the capture is edited in the real screenshot
// editor with controlled pointer events, checking at every step that
// points, pixels and the window's place map onto each other exactly.
class ScreenVerification : public QObject {
    Q_OBJECT
public:
    struct Inputs {
        QImage fixture;
        QString reportPath;
        std::shared_ptr<CaptureService> capture;
        std::shared_ptr<TextRecognizer> recognizer;
    };

    // Starts the check; `done` learns whether it passed and its report was
    // written. Deletes itself when done.
    static void run(Inputs inputs, std::function<void(bool succeeded)> done);

    static const char* scope();

private:
    struct Run;
    explicit ScreenVerification(std::unique_ptr<Run> run);
    ~ScreenVerification() override;

    std::unique_ptr<Run> m_run;
};

} // namespace kelpie
