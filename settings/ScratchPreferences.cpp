#include "settings/ScratchPreferences.h"

#include "settings/AppPreferences.h"
#include "settings/PreferencesStore.h"

#include <QDir>
#include <QFileInfo>
#include <QUuid>

namespace kelpie {

std::optional<ScratchPreferences> ScratchPreferences::create(const QString& prefix)
{
    ScratchPreferences scratch;
    scratch.name = prefix + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    scratch.store = PreferencesStore::suite(scratch.name);
    if (!scratch.store)
        return std::nullopt;
    scratch.preferences = std::make_shared<AppPreferences>(scratch.store);
    return scratch;
}

std::optional<ScratchPreferences> ScratchPreferences::saveCheck(const QString& directory)
{
    std::optional<ScratchPreferences> scratch = create(QStringLiteral("com.kelpie.save-check."));
    if (!scratch)
        return std::nullopt;
    // The preferences take only absolute paths (anything else is not what
    // Kelpie stores); a relative folder on the command line means the one
    // under the working directory.
    const QString path = directory.isEmpty()
        ? directory
        : QDir::cleanPath(QFileInfo(directory).absoluteFilePath());
    scratch->store->setVolatileValue(QString(AppPreferences::directoryKey), path);
    return scratch;
}

bool ScratchPreferences::remove(const QString& name)
{
    return PreferencesStore::removeSuite(name).ok();
}

} // namespace kelpie
