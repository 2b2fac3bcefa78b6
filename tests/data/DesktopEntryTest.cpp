#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <gtest/gtest.h>

#include <map>

namespace {

using Group = std::map<QString, QString>;

// The groups of a desktop entry file, keyed by their header.
std::map<QString, Group> readEntry(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    std::map<QString, Group> groups;
    QString current;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            current = line;
            EXPECT_EQ(groups.count(current), 0u) << "group twice: " << line.toStdString();
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        EXPECT_GT(equals, 0) << "not a key: " << line.toStdString();
        EXPECT_FALSE(current.isEmpty()) << "key before any group: " << line.toStdString();
        EXPECT_EQ(groups[current].count(line.left(equals)), 0u) << line.toStdString();
        groups[current][line.left(equals)] = line.mid(equals + 1);
    }
    return groups;
}

TEST(DesktopEntry, StartsTheInstalledProgramWithItsIcon)
{
    auto groups = readEntry(QStringLiteral(KELPIE_DATA_DIR "/kelpie.desktop"));
    Group& main = groups[QStringLiteral("[Desktop Entry]")];
    EXPECT_EQ(main[QStringLiteral("Type")], QStringLiteral("Application"));
    EXPECT_EQ(main[QStringLiteral("Exec")], QStringLiteral(KELPIE_PROGRAM));
    EXPECT_EQ(main[QStringLiteral("Terminal")], QStringLiteral("false"));
    // The icon is looked up by the name of the installed SVG file.
    EXPECT_EQ(main[QStringLiteral("Icon")], QStringLiteral("kelpie"));
    EXPECT_TRUE(QFile::exists(QStringLiteral(KELPIE_DATA_DIR "/kelpie.svg")));
    EXPECT_TRUE(main[QStringLiteral("Categories")].endsWith(u';'));

    // Every action the entry lists is there and starts the same program,
    // the capture with the flag a running Kelpie takes over the bus.
    const QStringList actions = main[QStringLiteral("Actions")].split(u';', Qt::SkipEmptyParts);
    ASSERT_EQ(actions, QStringList{QStringLiteral("capture")});
    Group& capture = groups[QStringLiteral("[Desktop Action capture]")];
    EXPECT_EQ(capture[QStringLiteral("Exec")], QStringLiteral(KELPIE_PROGRAM " --capture-now"));
    EXPECT_EQ(capture[QStringLiteral("Name[zh_CN]")], QStringLiteral("区域截图"));
    EXPECT_EQ(groups.size(), 2u);
}

TEST(DesktopEntry, TheIconDrawsAsARoundedTileAtAnySize)
{
    QSvgRenderer icon(QStringLiteral(KELPIE_DATA_DIR "/kelpie.svg"));
    ASSERT_TRUE(icon.isValid());
    EXPECT_EQ(icon.viewBox(), QRect(0, 0, 128, 128));
    for (const int size : {16, 48, 256}) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        icon.render(&painter);
        painter.end();
        // Clear corners outside the rounded tile, the tile's green inside.
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << size;
        EXPECT_EQ(qAlpha(image.pixel(size - 1, size - 1)), 0) << size;
        const QColor edge = image.pixelColor(size / 2, size * 10 / 128);
        EXPECT_EQ(edge.alpha(), 255) << size;
        EXPECT_GT(edge.green(), edge.red()) << size;
    }
}

} // namespace
