#include "settings/AppPreferences.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace kelpie {

const std::shared_ptr<AppPreferences>& AppPreferences::shared()
{
    static const std::shared_ptr<AppPreferences> instance = std::make_shared<AppPreferences>();
    return instance;
}

AppPreferences::AppPreferences(std::shared_ptr<PreferencesStore> store) : m_store(std::move(store))
{
}

AppShortcut AppPreferences::storedShortcut(const QString& key, const AppShortcut& fallback) const
{
    const auto blob = m_store->data(key);
    if (!blob)
        return fallback;
    const auto shortcut = AppShortcut::fromJson(*blob);
    if (!shortcut || !shortcut->isValid())
        return fallback;
    return *shortcut;
}

AppShortcut AppPreferences::captureShortcut() const
{
    return storedShortcut(QString(captureKey), AppShortcut::capture());
}

AppShortcut AppPreferences::pinShortcut() const
{
    return storedShortcut(QString(pinKey), AppShortcut::pin());
}

bool AppPreferences::isInvalidEntry(const QString& key) const
{
    // A file that cannot be read may hold a shortcut that is being ignored.
    const auto found = m_store->lookup(key);
    if (!found)
        return true;
    const auto& value = found.value();
    if (!value)
        return false;
    const auto* blob = std::get_if<QByteArray>(&*value);
    if (!blob)
        return true;
    const auto shortcut = AppShortcut::fromJson(*blob);
    return !shortcut || !shortcut->isValid();
}

bool AppPreferences::hasInvalidShortcuts() const
{
    return isInvalidEntry(QString(captureKey)) || isInvalidEntry(QString(pinKey));
}

void AppPreferences::record(const Status<PreferencesError>& written)
{
    if (written)
        m_lastWriteFailure.reset();
    else
        m_lastWriteFailure = written.failure();
}

QString AppPreferences::saveFailureMessage()
{
    return QStringLiteral("未能保存设置，请检查配置目录权限");
}

void AppPreferences::setShortcuts(const AppShortcut& capture, const AppShortcut& pin)
{
    if (!capture.isValid() || !pin.isValid() || capture == pin || pin == AppShortcut::fallback()) {
        record({PreferencesError::invalidValue, "shortcuts refused"});
        return;
    }
    // One write for both: a crash between two writes could leave the new
    // capture key beside the old pin key, possibly the same combination.
    record(m_store->setValues({{QString(captureKey), PreferencesStore::Value(capture.toJson())},
                               {QString(pinKey), PreferencesStore::Value(pin.toJson())}}));
}

std::optional<QUrl> AppPreferences::defaultSaveDirectory()
{
    // Qt reads XDG_DESKTOP_DIR from user-dirs.dirs and falls back to
    // ~/Desktop itself.
    QString path = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (path.isEmpty()) {
        const QString home = QDir::homePath();
        if (home.isEmpty())
            return std::nullopt;
        path = home + QStringLiteral("/Desktop");
    }
    return QUrl::fromLocalFile(QDir::cleanPath(path));
}

std::optional<QUrl> AppPreferences::saveDirectory() const
{
    const auto path = m_store->string(QString(directoryKey));
    // An empty or relative path is not something this program wrote.
    if (!path || path->isEmpty() || QDir::isRelativePath(*path))
        return std::nullopt;
    return QUrl::fromLocalFile(*path);
}

std::optional<QUrl> AppPreferences::usableSaveDirectory() const
{
    const auto directory = saveDirectory();
    if (!directory)
        return std::nullopt;
    const QFileInfo info(directory->toLocalFile());
    if (!info.exists() || !info.isDir() || !info.isWritable())
        return std::nullopt;
    return directory;
}

void AppPreferences::setSaveDirectory(const std::optional<QUrl>& directory)
{
    if (!directory || !directory->isLocalFile() || directory->toLocalFile().isEmpty()) {
        record(m_store->remove(QString(directoryKey)));
        return;
    }
    const QString path = QDir::cleanPath(QFileInfo(directory->toLocalFile()).absoluteFilePath());
    record(m_store->setString(QString(directoryKey), path));
}

QString AppPreferences::styleKey(AnnotationTool tool)
{
    return QStringLiteral("kelpie.annotation.style.") + rawValue(tool) + QStringLiteral(".v1");
}

AnnotationStyle AppPreferences::annotationStyle(AnnotationTool tool, double scale) const
{
    if (const auto blob = m_store->data(styleKey(tool))) {
        const auto style = AnnotationStyle::fromJson(*blob);
        if (style && style->valid())
            return *style;
    }
    return AnnotationStyle::initial(tool, scale);
}

void AppPreferences::setAnnotationStyle(const AnnotationStyle& style, AnnotationTool tool)
{
    if (!style.valid() || tool == AnnotationTool::select) {
        record({PreferencesError::invalidValue, "style refused"});
        return;
    }
    const QByteArray json = style.toJson();
    if (json.isEmpty())
        record(m_store->remove(styleKey(tool)));
    else
        record(m_store->setData(styleKey(tool), json));
}

} // namespace kelpie
