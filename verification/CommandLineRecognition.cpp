#include "verification/CommandLineRecognition.h"

#include "platform/TextRecognizerModule.h"
#include "text/TextRecognizer.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include <memory>

namespace kelpie {

CommandLineRecognition::CommandLineRecognition(QObject* parent) : QObject(parent) { }

CommandLineRecognition::~CommandLineRecognition()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(2000);
    }
}

QString CommandLineRecognition::program()
{
    return QStandardPaths::findExecutable(QStringLiteral("tesseract"));
}

QString CommandLineRecognition::models()
{
    QStringList names;
    for (const QString& language : TextRecognizer::languages()) {
        const QString name = TextRecognizerModule::modelName(language);
        if (!name.isEmpty() && !names.contains(name))
            names.append(name);
    }
    return names.join(QLatin1Char('+'));
}

QStringList CommandLineRecognition::arguments(const QString& imagePath)
{
    return {imagePath, QStringLiteral("stdout"), QStringLiteral("-l"), models()};
}

void CommandLineRecognition::run(const QString& imagePath,
                                 std::function<void(std::optional<Outcome>)> done)
{
    const QString tool = program();
    if (tool.isEmpty() || (m_process && m_process->state() != QProcess::NotRunning)) {
        done(std::nullopt);
        return;
    }
    // A finished process may be the one whose signal is running this.
    if (m_process)
        m_process->deleteLater();
    m_process = new QProcess(this);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("OMP_THREAD_LIMIT"), QStringLiteral("1"));
    m_process->setProcessEnvironment(environment);
    m_process->setProgram(tool);
    m_process->setArguments(arguments(imagePath));
    auto clock = std::make_shared<QElapsedTimer>();
    // Either signal may come first, and only one of them at all when the
    // tool cannot start; `done` runs once.
    auto finish = std::make_shared<std::function<void(std::optional<Outcome>)>>(std::move(done));
    QProcess* process = m_process;
    connect(process, &QProcess::finished, this,
            [process, clock, finish](int code, QProcess::ExitStatus status) {
                const double milliseconds = double(clock->nsecsElapsed()) / 1e6;
                auto callback = std::exchange(*finish, {});
                if (!callback)
                    return;
                if (status != QProcess::NormalExit || code != 0)
                    return callback(std::nullopt);
                callback(Outcome{milliseconds, QString::fromUtf8(process->readAllStandardOutput())});
            });
    connect(process, &QProcess::errorOccurred, this, [finish](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        if (auto callback = std::exchange(*finish, {}))
            callback(std::nullopt);
    });
    process->setStandardErrorFile(QProcess::nullDevice());
    clock->start();
    process->start();
}

} // namespace kelpie
