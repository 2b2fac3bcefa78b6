#include "editor/LiveTextSelection.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>

namespace kelpie {

namespace {

// Distance from a point to a rectangle, zero inside.
double distance(const Rect& box, Point p)
{
    const double dx = std::max({box.minX() - p.x, 0.0, p.x - box.maxX()});
    const double dy = std::max({box.minY() - p.y, 0.0, p.y - box.maxY()});
    return std::hypot(dx, dy);
}

bool sameRect(const Rect& a, const Rect& b) { return (a.isNull() && b.isNull()) || a == b; }

} // namespace

void LiveTextSelection::setAnalysis(std::shared_ptr<const TextAnalysis> analysis)
{
    m_analysis = std::move(analysis);
    m_ranges.clear();
    m_selecting = false;
    layOut();
    selectionChanged();
}

// Builds the text from the characters themselves so that every character
// of the text that has a box is found at its place: a word without
// characters counts as one character over the word's box.
void LiveTextSelection::layOut()
{
    m_text.clear();
    m_lines.clear();
    if (!m_analysis)
        return;
    m_lines.reserve(m_analysis->lines.size());
    for (const TextAnalysis::Line& source : m_analysis->lines) {
        if (!m_lines.empty())
            m_text += QLatin1Char('\n');
        Line line;
        line.start = m_text.size();
        line.box = source.box;
        for (const TextAnalysis::Word& word : source.words) {
            if (!line.words.empty())
                m_text += QLatin1Char(' ');
            const qsizetype wordStart = m_text.size();
            if (word.characters.empty()) {
                m_text += word.text;
                line.glyphs.push_back({wordStart, m_text.size(), word.box});
            }
            for (const TextAnalysis::Character& character : word.characters) {
                const qsizetype start = m_text.size();
                m_text += character.text;
                line.glyphs.push_back({start, m_text.size(), character.box});
            }
            line.words.emplace_back(wordStart, m_text.size());
        }
        line.end = m_text.size();
        if (line.box.isNull() || line.box.isEmpty()) {
            for (const Glyph& glyph : line.glyphs)
                line.box = line.box.isNull() ? glyph.box : line.box.united(glyph.box);
        }
        m_lines.push_back(std::move(line));
    }
}

QString LiveTextSelection::selectedText() const
{
    QStringList parts;
    for (const Range& range : m_ranges)
        parts.append(m_text.mid(range.location, range.length));
    return parts.join(QLatin1Char('\n'));
}

void LiveTextSelection::setSelectedRanges(const QList<Range>& ranges)
{
    QList<Range> cut;
    for (const Range& range : ranges) {
        // A range reaching before the text keeps only its part inside.
        const qsizetype before = std::min<qsizetype>(range.location, 0);
        const qsizetype start = std::clamp<qsizetype>(range.location, 0, m_text.size());
        const qsizetype length = std::clamp<qsizetype>(
            std::max<qsizetype>(range.length, 0) + before, 0, m_text.size());
        const qsizetype end = std::min(start + length, m_text.size());
        if (end > start)
            cut.append({start, end - start});
    }
    std::sort(cut.begin(), cut.end(),
              [](const Range& a, const Range& b) { return a.location < b.location; });
    QList<Range> merged;
    for (const Range& range : cut) {
        if (!merged.isEmpty() && range.location <= merged.back().location + merged.back().length) {
            Range& last = merged.back();
            last.length = std::max(last.location + last.length, range.location + range.length)
                - last.location;
        } else {
            merged.append(range);
        }
    }
    m_ranges = merged;
    selectionChanged();
}

void LiveTextSelection::resetSelection()
{
    m_selecting = false;
    if (m_ranges.isEmpty())
        return;
    m_ranges.clear();
    selectionChanged();
}

bool LiveTextSelection::hasText(Point image) const
{
    return std::any_of(m_lines.begin(), m_lines.end(),
                       [&](const Line& line) { return line.box.contains(image); });
}

// The line in whose band the point lies, the nearest of those across; else
// the nearest line. A drag that leaves the text keeps following the line
// it is closest to.
const LiveTextSelection::Line* LiveTextSelection::lineAt(Point image) const
{
    const Line* best = nullptr;
    bool bestInBand = false;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (const Line& line : m_lines) {
        const bool inBand = image.y >= line.box.minY() && image.y < line.box.maxY();
        const double d = distance(line.box, image);
        if ((inBand && !bestInBand) || (inBand == bestInBand && d < bestDistance)) {
            best = &line;
            bestInBand = inBand;
            bestDistance = d;
        }
    }
    return best;
}

// Before a character when the point lies left of its middle, else after
// it; in the blank of a space, on the nearer side of the space.
qsizetype LiveTextSelection::caretAt(const Line& line, double x) const
{
    for (size_t i = 0; i < line.glyphs.size(); ++i) {
        const Glyph& glyph = line.glyphs[i];
        if (x >= glyph.box.midX())
            continue;
        if (i > 0) {
            const Glyph& before = line.glyphs[i - 1];
            if (before.end < glyph.start && x < (before.box.maxX() + glyph.box.minX()) / 2)
                return before.end;
        }
        return glyph.start;
    }
    return line.end;
}

// The x of a caret: the left edge of the character it precedes, or the
// right edge of the character it follows when a space comes next.
double LiveTextSelection::xAt(const Line& line, qsizetype caret) const
{
    if (line.glyphs.empty())
        return line.box.minX();
    const auto next = std::find_if(line.glyphs.begin(), line.glyphs.end(),
                                   [&](const Glyph& g) { return g.end > caret; });
    if (next == line.glyphs.end())
        return line.glyphs.back().box.maxX();
    if (caret > next->start)
        return next->box.maxX(); // inside a character of several code units
    if (caret == next->start || next == line.glyphs.begin())
        return next->box.minX();
    return std::prev(next)->box.maxX();
}

std::pair<qsizetype, qsizetype> LiveTextSelection::unitAt(Point image, Unit unit) const
{
    const Line* line = lineAt(image);
    if (!line)
        return {0, 0};
    if (unit == Unit::line)
        return {line->start, line->end};
    const qsizetype caret = caretAt(*line, image.x);
    if (unit == Unit::character)
        return {caret, caret};
    // The word holding the character under the point, or the nearest one.
    const Glyph* under = nullptr;
    for (const Glyph& glyph : line->glyphs) {
        if (!under || std::abs(glyph.box.midX() - image.x) < std::abs(under->box.midX() - image.x))
            under = &glyph;
        if (glyph.box.minX() <= image.x && image.x < glyph.box.maxX()) {
            under = &glyph;
            break;
        }
    }
    if (under) {
        for (const auto& word : line->words) {
            if (under->start >= word.first && under->start < word.second)
                return word;
        }
    }
    return {caret, caret};
}

bool LiveTextSelection::press(Point image, int clickCount)
{
    if (!hasText(image))
        return false;
    m_unit = clickCount >= 3 ? Unit::line : clickCount == 2 ? Unit::word : Unit::character;
    m_anchor = unitAt(image, m_unit);
    m_selecting = true;
    m_ranges.clear();
    if (m_anchor.second > m_anchor.first)
        m_ranges.append({m_anchor.first, m_anchor.second - m_anchor.first});
    selectionChanged();
    return true;
}

void LiveTextSelection::drag(Point image)
{
    if (!m_selecting)
        return;
    const auto focus = unitAt(image, m_unit);
    const qsizetype start = std::min(m_anchor.first, focus.first);
    const qsizetype end = std::max(m_anchor.second, focus.second);
    const QList<Range> ranges = end > start ? QList<Range>{{start, end - start}} : QList<Range>{};
    if (ranges == m_ranges)
        return;
    m_ranges = ranges;
    selectionChanged();
}

void LiveTextSelection::release() { m_selecting = false; }

Rect LiveTextSelection::highlight(const Line& line) const
{
    Rect result = Rect::null();
    for (const Range& range : m_ranges) {
        const qsizetype start = std::max(range.location, line.start);
        const qsizetype end = std::min(range.location + range.length, line.end);
        if (end <= start)
            continue;
        const double left = xAt(line, start);
        const double right = std::max(left, xAt(line, end));
        const Rect part(left, line.box.minY(), right - left, line.box.height());
        result = result.isNull() ? part : result.united(part);
    }
    return result;
}

QList<Rect> LiveTextSelection::highlights() const
{
    QList<Rect> result;
    for (const Line& line : m_lines) {
        const Rect rect = highlight(line);
        if (!rect.isNull())
            result.append(rect);
    }
    return result;
}

void LiveTextSelection::selectionChanged()
{
    std::vector<Rect> now;
    now.reserve(m_lines.size());
    for (const Line& line : m_lines)
        now.push_back(highlight(line));
    const size_t count = std::max(now.size(), m_painted.size());
    for (size_t i = 0; i < count; ++i) {
        const Rect before = i < m_painted.size() ? m_painted[i] : Rect::null();
        const Rect after = i < now.size() ? now[i] : Rect::null();
        if (sameRect(before, after))
            continue;
        if (!before.isNull())
            m_changed.append(before);
        if (!after.isNull())
            m_changed.append(after);
    }
    m_painted = std::move(now);
}

QList<Rect> LiveTextSelection::takeChangedArea()
{
    QList<Rect> changed;
    changed.swap(m_changed);
    return changed;
}

} // namespace kelpie
