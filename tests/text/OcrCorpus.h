#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

#include <vector>

namespace kelpie {

// The recognition corpus: screenshots of real programs with the text they
// show, written by hand (tests/text/data/README.md describes the files).
struct OcrCorpus {
    struct Screen {
        QString name;
        // "tuning" or "held-out".
        QString set;
        // The screen shows icons or images, so a stray reading is forgiven.
        bool pictures = false;
        QString description;
        QString imagePath;
        // The expected rows, top to bottom; a row's parts that stand far
        // apart are separated by a TAB.
        QStringList rows;

        bool heldOut() const { return set == QLatin1String("held-out"); }
        QImage image() const;
    };

    QString directory;
    std::vector<Screen> screens;
    // What is wrong with the files, one message per fault; empty when the
    // corpus is sound.
    QStringList problems;

    // Reads manifest.tsv and every screen's text from `directory`; checks
    // that every screen has its picture and text, that every picture is
    // listed, and that the texts follow the writing rules.
    static OcrCorpus load(const QString& directory);
    // The corpus kept with the tests.
    static QString defaultDirectory();

    const Screen* find(const QString& name) const;
};

} // namespace kelpie
