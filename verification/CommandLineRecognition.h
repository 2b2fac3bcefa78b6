#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QProcess;

namespace kelpie {

// The tesseract command-line tool reading one image file with the models
// Kelpie's recogniser uses, on one thread (OMP_THREAD_LIMIT=1), as the
// yardstick the first-analysis figures are set against:
//
//   OMP_THREAD_LIMIT=1 tesseract IMAGE stdout -l chi_sim+chi_tra+eng
//
// The run is timed from the process's start to its end, model loading
// included, as a person running the command would see it.
class CommandLineRecognition final : public QObject {
    Q_OBJECT
public:
    struct Outcome {
        double milliseconds = 0;
        QString text;
    };

    explicit CommandLineRecognition(QObject* parent = nullptr);
    ~CommandLineRecognition() override;

    // The tool on PATH; empty when it is not installed.
    static QString program();
    // "chi_sim+chi_tra+eng": the recogniser's languages, in its order.
    static QString models();
    static QStringList arguments(const QString& imagePath);

    // Runs the tool on `imagePath`; `done` gets the outcome, or nothing when
    // the tool is missing, cannot start or fails. Asynchronous: the event
    // loop goes on meanwhile.
    void run(const QString& imagePath, std::function<void(std::optional<Outcome>)> done);

private:
    QProcess* m_process = nullptr;
};

} // namespace kelpie
