#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace kelpie {

class CaptureService;
class TextRecognizer;

// The display check: a fixture host process covers every screen with the
// display fixture; each screen is then frozen through the real display
// capture, cropped in the real selection overlay with controlled pointer
// events, opened in the real screenshot editor, read by the real text
// recogniser, marked up, pinned and undone, and every step is compared
// with what the fixture must give. Only the verified crop ever leaves the
// routine, never a whole screen.
class DisplayVerification : public QObject {
    Q_OBJECT
public:
    struct Inputs {
        // The fixture host executable.
        QString host;
        QString reportPath;
        std::shared_ptr<CaptureService> capture;
        std::shared_ptr<TextRecognizer> recognizer;
    };

    // Starts the check; `done` learns whether it passed and its report was
    // written. Deletes itself when done.
    static void run(Inputs inputs, std::function<void(bool succeeded)> done);

    // The fixed description of what the check covers.
    static const char* scope();

private:
    struct Run;
    explicit DisplayVerification(std::unique_ptr<Run> run);
    ~DisplayVerification() override;

    std::unique_ptr<Run> m_run;
};

} // namespace kelpie
