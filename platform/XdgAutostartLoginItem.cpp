#include "platform/XdgAutostartLoginItem.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>

namespace kelpie {

namespace {

// An autostart entry is a few hundred bytes; anything far larger is not ours.
constexpr qint64 maximumEntrySize = 64 * 1024;

QString autostartDirectory()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config)) {
        const QString home = qEnvironmentVariable("HOME");
        if (home.isEmpty() || !QDir::isAbsolutePath(home))
            return {};
        config = home + QStringLiteral("/.config");
    }
    return config + QStringLiteral("/autostart");
}

// The value of `key` in the [Desktop Entry] group, trimmed; empty when absent.
QByteArray entryValue(const QByteArray& text, const QByteArray& key)
{
    bool inMainGroup = false;
    for (const QByteArray& raw : text.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype equals = line.indexOf('=');
        if (equals > 0 && line.left(equals).trimmed() == key)
            return line.mid(equals + 1).trimmed();
    }
    return {};
}

} // namespace

XdgAutostartLoginItem::XdgAutostartLoginItem(QString executable)
    : m_executable(executable.isEmpty() ? defaultCommand() : std::move(executable))
{
}

QString XdgAutostartLoginItem::defaultCommand()
{
    // The `kelpie` launcher says where it is before it becomes the program,
    // which lives elsewhere.
    const QString launcher = qEnvironmentVariable("KELPIE_COMMAND");
    return launcher.isEmpty() ? QCoreApplication::applicationFilePath() : launcher;
}

QString XdgAutostartLoginItem::entryPath()
{
    const QString directory = autostartDirectory();
    return directory.isEmpty() ? QString() : directory + QStringLiteral("/kelpie.desktop");
}

QString XdgAutostartLoginItem::quotedExecArgument(const QString& argument)
{
    // Inside quotes the desktop takes ", `, $ and \ only after a backslash,
    // and % starts a field code unless doubled.
    QString quoted = QStringLiteral("\"");
    for (const QChar character : argument) {
        if (character == u'"' || character == u'`' || character == u'$' || character == u'\\')
            quoted += u'\\';
        if (character == u'%')
            quoted += u'%';
        quoted += character;
    }
    quoted += u'"';
    // The whole value is then a string of the entry file, whose own escape
    // character is the backslash too.
    return quoted.replace(QStringLiteral("\\"), QStringLiteral("\\\\"));
}

std::optional<QByteArray> XdgAutostartLoginItem::entry(const QString& executable)
{
    if (executable.isEmpty())
        return std::nullopt;
    for (const QChar character : executable) {
        if (character.category() == QChar::Other_Control)
            return std::nullopt;
    }
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=Kelpie\n"
                                        "Comment=截图与标注\n"
                                        "Exec=%1\n"
                                        "Icon=kelpie\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(quotedExecArgument(executable));
    return text.toUtf8();
}

Status<LoginItemError> XdgAutostartLoginItem::registerItem()
{
    const QString path = entryPath();
    const auto text = entry(m_executable);
    if (path.isEmpty() || !text)
        return LoginItemError::notFound;
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return {LoginItemError::unwritable,
                "cannot create " + QFileInfo(path).path().toStdString()};
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(*text) != text->size() || !file.commit())
        return {LoginItemError::unwritable, file.errorString().toStdString()};
    return Done{};
}

Status<LoginItemError> XdgAutostartLoginItem::unregisterItem()
{
    const QString path = entryPath();
    if (path.isEmpty())
        return Done{};
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return Done{};
    if (info.isDir() && !info.isSymLink())
        return {LoginItemError::unwritable, "a folder stands where the entry belongs"};
    QFile file(path);
    if (!file.remove())
        return {LoginItemError::unwritable, file.errorString().toStdString()};
    return Done{};
}

LoginItemStatus XdgAutostartLoginItem::status() const
{
    const QString path = entryPath();
    if (path.isEmpty())
        return LoginItemStatus::notFound;
    const QFileInfo info(path);
    if (!info.exists())
        return LoginItemStatus::notRegistered;
    if (!info.isFile() || info.size() > maximumEntrySize)
        return LoginItemStatus::unknown;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return LoginItemStatus::unknown;
    const QByteArray text = file.read(maximumEntrySize);
    if (entryValue(text, "Hidden") == "true"
        || entryValue(text, "X-GNOME-Autostart-enabled") == "false")
        return LoginItemStatus::notRegistered;
    return LoginItemStatus::enabled;
}

bool XdgAutostartLoginItem::openSettings()
{
    const QString path = entryPath();
    if (path.isEmpty())
        return false;
    const QString directory = QFileInfo(path).absolutePath();
    QDir().mkpath(directory);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(directory));
}

} // namespace kelpie
