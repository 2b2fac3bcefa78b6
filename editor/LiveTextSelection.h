#pragma once

#include "geometry/Point.h"
#include "geometry/Rect.h"
#include "text/TextAnalysis.h"

#include <QList>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace kelpie {

// The text of one analysis as the live-text overlay offers it, and the
// user's selection in it, without a widget.
//
// `text()` is the analysis read in reading order: a line's words joined by
// single spaces, lines joined by "\n". Selections are ranges of that text.
// A drag selects in reading order: from the anchor to wherever the pointer
// is, so a drag that starts in one line and ends in another takes the rest
// of the first line, every line between and the start of the last.
//
// Points and boxes are in the analysed image's pixels (origin at the
// top-left, y down), the space of TextAnalysis.
class LiveTextSelection {
public:
    struct Range {
        qsizetype location = 0;
        qsizetype length = 0;

        friend bool operator==(const Range&, const Range&) = default;
    };

    // Replaces the analysis (null clears it) and drops the selection.
    void setAnalysis(std::shared_ptr<const TextAnalysis> analysis);
    const std::shared_ptr<const TextAnalysis>& analysis() const { return m_analysis; }

    const QString& text() const { return m_text; }
    // The selected ranges' text, ranges joined by "\n".
    QString selectedText() const;
    const QList<Range>& selectedRanges() const { return m_ranges; }
    // Ranges are cut to the text, sorted, and merged where they overlap;
    // empty ones are dropped.
    void setSelectedRanges(const QList<Range>& ranges);
    bool hasActiveTextSelection() const { return !m_ranges.isEmpty(); }
    void resetSelection();

    // Whether a recognised line lies under the point.
    bool hasText(Point image) const;

    // A press starts a selection only over text (false otherwise): one
    // click places the anchor, two take the word, three the line. A drag
    // then extends by the same unit until release.
    bool press(Point image, int clickCount);
    void drag(Point image);
    void release();
    bool selecting() const { return m_selecting; }

    // What to paint: for each line the selection touches, one rectangle over
    // the selected part of it, line by line in reading order.
    QList<Rect> highlights() const;
    // The image area whose highlight changed since the last call: the old
    // and the new highlight of every line whose highlight differs.
    QList<Rect> takeChangedArea();

private:
    enum class Unit { character, word, line };

    // One character of a line at [start, end) of the text, with its box.
    struct Glyph {
        qsizetype start = 0;
        qsizetype end = 0;
        Rect box;
    };
    struct Line {
        qsizetype start = 0;
        qsizetype end = 0;
        Rect box;
        std::vector<Glyph> glyphs;
        // [start, end) of each word.
        std::vector<std::pair<qsizetype, qsizetype>> words;
    };

    void layOut();
    const Line* lineAt(Point image) const;
    // The range of the unit at the point: an empty range at the caret for
    // characters.
    std::pair<qsizetype, qsizetype> unitAt(Point image, Unit unit) const;
    qsizetype caretAt(const Line& line, double x) const;
    double xAt(const Line& line, qsizetype caret) const;
    Rect highlight(const Line& line) const;
    // Recomputes the highlights and records what changed.
    void selectionChanged();

    std::shared_ptr<const TextAnalysis> m_analysis;
    QString m_text;
    std::vector<Line> m_lines;
    QList<Range> m_ranges;

    bool m_selecting = false;
    Unit m_unit = Unit::character;
    std::pair<qsizetype, qsizetype> m_anchor;

    // Per line, the highlight last reported; null where there is none.
    std::vector<Rect> m_painted;
    QList<Rect> m_changed;
};

} // namespace kelpie
