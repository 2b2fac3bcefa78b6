#pragma once

#include "text/TextAnalysis.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <vector>

namespace kelpie {

// Tells simplified from traditional Chinese character by character, from
// the picture. Each Chinese model reads the other script's characters as
// its own forms with as much confidence as its own text, so confidence
// cannot say which form the screen shows; the picture can. Each character
// read in a form that has others in the other script is found in the line
// (CJK characters are full width, so a stretch of them is an even row of
// cells), and its cell's shape is compared with every form drawn in a
// Chinese font; it takes another form only when that matches clearly
// better. Mixed lines ("简体：软件 繁體：軟體") come out mixed.
class HanScriptCheck {
public:
    struct Outcome {
        int candidates = 0; // characters with a different form in the other script
        int changed = 0;    // of them, those the picture shows in that form
    };

    // How clearly a character must match another form to take it: by how
    // much more correlation than the form read, and at least how much (a cell that matches no form well is not where the character is).
    // Close calls keep what the model read: a simplified screen wrongly made
    // traditional is worse than a traditional one left as read. Sure is for
    // a character on its own; leaning is for the lines of an image in which
    // sure matches were found, which shows that it holds traditional text.
    struct Thresholds {
        double margin;
        double plausible;
    };
    static constexpr Thresholds sure{0.25, 0.6};
    static constexpr Thresholds leaning{0.1, 0.45};
    // Between two readings of the recogniser, either of which may be right.
    static constexpr Thresholds between{0.2, 0.3};

    enum class Script { traditional, simplified };

    // The one check of the process; the conversion tables load on first use.
    static const HanScriptCheck& instance();

    // Whether the conversion tables could be loaded; without them nothing
    // is changed.
    bool available() const;

    // Gives the glyphs of a line the form of the script `toward` where the
    // line image (dark text on a light ground, glyph boxes in its pixels)
    // shows it: the traditional form for a reading of the simplified model,
    // the simplified form for one of the traditional model.
    Outcome apply(std::vector<TextAnalysis::Glyph>& glyphs, const QImage& line,
                  Thresholds thresholds = sure, Script toward = Script::traditional) const;

    // Gives each glyph of a line the reading among `alternatives` (one list
    // per glyph, empty for none) that the line image clearly shows better
    // than the glyph's own, with the same thresholds as above: another
    // reading of the line may have read some characters better.
    Outcome choose(std::vector<TextAnalysis::Glyph>& glyphs, const QImage& line,
                   const std::vector<QStringList>& alternatives,
                   Thresholds thresholds = sure) const;

    // A character's forms in a script other than itself; none for one
    // written the same in both scripts, or when the tables are missing.
    QStringList otherForms(const QString& character, Script script) const;

private:
    // A character drawn in the reference font, as the shape grid the line's
    // cells are compared in; cached.
    std::vector<double> referenceShape(const QString& character) const;

    HanScriptCheck(const HanScriptCheck&) = delete;
    HanScriptCheck& operator=(const HanScriptCheck&) = delete;

    HanScriptCheck();
    ~HanScriptCheck();

    struct State;
    State* state;
};

} // namespace kelpie
