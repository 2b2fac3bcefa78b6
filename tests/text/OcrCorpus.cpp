#include "tests/text/OcrCorpus.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringDecoder>

namespace kelpie {

namespace {

QString readUtf8(const QString& path, bool* ok)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *ok = false;
        return {};
    }
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(file.readAll());
    *ok = !decoder.hasError();
    return text;
}

// The faults a hand-written row can have: spaces that do not count (they
// would make the row impossible to read exactly) and empty parts.
QString rowProblem(const QString& row)
{
    if (row.trimmed().isEmpty())
        return QStringLiteral("empty row");
    if (row != row.trimmed())
        return QStringLiteral("leading or trailing white space");
    if (row.contains(QLatin1String("  ")))
        return QStringLiteral("two spaces in a row");
    if (row.contains(QLatin1Char('\r')))
        return QStringLiteral("carriage return");
    for (const QString& part : row.split(QLatin1Char('\t'))) {
        if (part.isEmpty() || part != part.trimmed())
            return QStringLiteral("empty part or space beside a TAB");
    }
    return {};
}

} // namespace

QImage OcrCorpus::Screen::image() const { return QImage(imagePath); }

QString OcrCorpus::defaultDirectory() { return QStringLiteral(KELPIE_OCR_CORPUS_DIR); }

const OcrCorpus::Screen* OcrCorpus::find(const QString& name) const
{
    for (const Screen& screen : screens) {
        if (screen.name == name)
            return &screen;
    }
    return nullptr;
}

OcrCorpus OcrCorpus::load(const QString& directory)
{
    OcrCorpus corpus;
    corpus.directory = directory;
    const QDir dir(directory);
    bool ok = true;
    const QString manifest = readUtf8(dir.filePath(QStringLiteral("manifest.tsv")), &ok);
    if (!ok) {
        corpus.problems.append(QStringLiteral("manifest.tsv cannot be read as UTF-8"));
        return corpus;
    }

    QSet<QString> names;
    int lineNumber = 0;
    for (const QString& line : manifest.split(QLatin1Char('\n'))) {
        ++lineNumber;
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList fields = line.split(QLatin1Char('\t'));
        const QString where = QStringLiteral("manifest.tsv:%1: ").arg(lineNumber);
        if (fields.size() != 4) {
            corpus.problems.append(where + QStringLiteral("want 4 TAB-separated fields"));
            continue;
        }
        Screen screen;
        screen.name = fields[0];
        screen.set = fields[1];
        screen.description = fields[3];
        if (screen.set != QLatin1String("tuning") && screen.set != QLatin1String("held-out"))
            corpus.problems.append(where + QStringLiteral("set is neither tuning nor held-out"));
        if (fields[2] != QLatin1String("yes") && fields[2] != QLatin1String("no"))
            corpus.problems.append(where + QStringLiteral("pictures is neither yes nor no"));
        screen.pictures = fields[2] == QLatin1String("yes");
        if (names.contains(screen.name))
            corpus.problems.append(where + screen.name + QStringLiteral(" listed twice"));
        names.insert(screen.name);

        screen.imagePath = dir.filePath(screen.name + QStringLiteral(".png"));
        if (!QFileInfo::exists(screen.imagePath))
            corpus.problems.append(screen.name + QStringLiteral(": no picture"));
        bool read = true;
        const QString text = readUtf8(dir.filePath(screen.name + QStringLiteral(".txt")), &read);
        if (!read) {
            corpus.problems.append(screen.name + QStringLiteral(": no text, or not UTF-8"));
        } else if (!text.endsWith(QLatin1Char('\n'))) {
            corpus.problems.append(screen.name + QStringLiteral(": text does not end a line"));
        } else {
            screen.rows = text.chopped(1).split(QLatin1Char('\n'));
            for (qsizetype i = 0; i < screen.rows.size(); ++i) {
                const QString problem = rowProblem(screen.rows[i]);
                if (!problem.isEmpty())
                    corpus.problems.append(
                        QStringLiteral("%1.txt:%2: %3").arg(screen.name).arg(i + 1).arg(problem));
            }
        }
        corpus.screens.push_back(screen);
    }

    for (const QFileInfo& file :
         dir.entryInfoList({QStringLiteral("*.png"), QStringLiteral("*.txt")}, QDir::Files)) {
        if (!names.contains(file.completeBaseName()))
            corpus.problems.append(file.fileName() + QStringLiteral(" is not in manifest.tsv"));
    }
    return corpus;
}

} // namespace kelpie
