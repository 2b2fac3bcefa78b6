#pragma once

#include <QImage>
#include <QRect>
#include <QString>

#include <vector>

namespace kelpie {

// Generated screens with planted secrets and look-alikes that are not
// secrets: a terminal listing its environment, a settings page, a chat in
// Chinese and an application log, drawn with real fonts at a scale of one. The secret finder's
// test reads their exact text; bench_secrets reads them through the real
// recogniser.
struct SecretScreens {
    // A planted string and where it was drawn.
    struct Planted {
        QString text;
        bool secret = false;
        // The advance box of the string, in image pixels (top-left origin).
        QRect box;
        // The row it sits on (an index into Screen::rows) and its place in
        // that row's text.
        int row = 0;
        qsizetype offset = 0;
    };

    // One row of text as drawn: the pieces of one row (a label and its
    // value, say) joined by a tab.
    struct Row {
        QString text;
        QRect box;
    };

    struct Screen {
        QString name;
        QImage image;
        // The same screen without its text: where the two differ is ink.
        QImage blank;
        std::vector<Row> rows;
        std::vector<Planted> planted;

        int count(bool secret) const;
    };

    static Screen terminal();
    static Screen settings();
    static Screen chat();
    // An application log in a light viewer.
    static Screen log();
    static std::vector<Screen> all();
};

} // namespace kelpie
