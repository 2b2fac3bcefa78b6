#include "platform/TextRecognizerModule.h"

#include "text/TextRecognizer.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>

#include <cstdio>

namespace kelpie::TextRecognizerModule {
namespace {

using Create = TextRecognizer* (*)();
using Destroy = void (*)(TextRecognizer*);
using Loads = int (*)();

struct Entry {
    // Never unloaded: recognisers and their worker threads live in it. Held
    // here for the life of the process (a leak checker sees it is kept).
    QLibrary* library = nullptr;
    Create create = nullptr;
    Destroy destroy = nullptr;
    Loads loads = nullptr;
};

// Beside the executable (the build tree), then where the package installs
// it relative to the executable, then where this build put it (tests run
// from other folders).
QStringList candidates()
{
    const QString file = QStringLiteral(KELPIE_OCR_MODULE_FILE);
    QStringList paths;
    if (QCoreApplication::instance()) {
        const QDir executable(QCoreApplication::applicationDirPath());
        paths << executable.filePath(file)
              << QDir::cleanPath(executable.filePath(
                     QStringLiteral(KELPIE_OCR_MODULE_FROM_EXECUTABLE "/" KELPIE_OCR_MODULE_FILE)));
    }
    paths << QDir(QStringLiteral(KELPIE_OCR_MODULE_BUILD_DIR)).filePath(file);
    return paths;
}

Entry* load(bool mayLoad)
{
    static Entry entry;
    static bool tried = false;
    if (tried || !mayLoad)
        return entry.create ? &entry : nullptr;
    tried = true;
    QString reasons;
    for (const QString& path : candidates()) {
        if (!QFile::exists(path))
            continue;
        auto* library = new QLibrary(path);
        library->setLoadHints(QLibrary::PreventUnloadHint);
        if (!library->load()) {
            reasons += library->errorString() + u'\n';
            delete library;
            continue;
        }
        entry.library = library;
        entry.create = reinterpret_cast<Create>(library->resolve("kelpieCreateTextRecognizer"));
        entry.destroy = reinterpret_cast<Destroy>(library->resolve("kelpieDestroyTextRecognizer"));
        entry.loads = reinterpret_cast<Loads>(library->resolve("kelpieModelLoadsInProcess"));
        if (entry.create && entry.destroy && entry.loads)
            return &entry;
        entry = {};
        reasons += path + QStringLiteral(": not Kelpie's recognition module\n");
    }
    std::fprintf(stderr, "Kelpie: the text recognition module (%s) cannot be loaded; live text is off.\n%s",
                 KELPIE_OCR_MODULE_FILE, qPrintable(reasons));
    return nullptr;
}

} // namespace

std::shared_ptr<TextRecognizer> make()
{
    const Entry* entry = load(true);
    if (!entry)
        return nullptr;
    return std::shared_ptr<TextRecognizer>(entry->create(), entry->destroy);
}

int modelLoadsInProcess()
{
    const Entry* entry = load(false);
    return entry ? entry->loads() : 0;
}

bool loaded() { return load(false) != nullptr; }

QString modelName(const QString& language)
{
    if (language == QLatin1String("zh-Hans"))
        return QStringLiteral("chi_sim");
    if (language == QLatin1String("zh-Hant"))
        return QStringLiteral("chi_tra");
    if (language == QLatin1String("en-US") || language == QLatin1String("en"))
        return QStringLiteral("eng");
    return {};
}

} // namespace kelpie::TextRecognizerModule
