#include "text/SecretFinder.h"

#include <algorithm>

namespace kelpie::SecretFinder {

namespace {

// The analysis's text with every code unit's place: the line it belongs to
// and the box of its character (none for the spaces between words and the
// breaks between lines).
struct PlacedText {
    QString text;
    std::vector<int> line;
    std::vector<const Rect*> box;

    void append(QChar c, int lineIndex, const Rect* charBox)
    {
        text.append(c);
        line.push_back(lineIndex);
        box.push_back(charBox);
    }
};

PlacedText placed(const TextAnalysis& analysis)
{
    PlacedText result;
    for (std::size_t l = 0; l < analysis.lines.size(); ++l) {
        const int lineIndex = int(l);
        if (l > 0)
            result.append(QLatin1Char('\n'), -1, nullptr);
        const TextAnalysis::Line& line = analysis.lines[l];
        for (std::size_t w = 0; w < line.words.size(); ++w) {
            if (w > 0)
                result.append(QLatin1Char(' '), lineIndex, nullptr);
            for (const TextAnalysis::Character& character : line.words[w].characters) {
                for (QChar c : character.text)
                    result.append(c, lineIndex, &character.box);
            }
        }
    }
    return result;
}

// Whether line b continues line a on the same row: their boxes share most
// of their height and b starts to the right of a's end.
bool sameRow(const Rect& a, const Rect& b)
{
    const double shared = std::min(a.maxY(), b.maxY()) - std::max(a.minY(), b.minY());
    return shared >= 0.5 * std::min(a.height(), b.height()) && b.minX() >= a.maxX();
}

// The text the rules read: line breaks between lines of one row become tabs.
QString searchText(const TextAnalysis& analysis, const PlacedText& placedText)
{
    QString text = placedText.text;
    qsizetype position = 0;
    for (std::size_t l = 0; l + 1 < analysis.lines.size(); ++l) {
        position = text.indexOf(QLatin1Char('\n'), position);
        if (position < 0)
            break;
        if (sameRow(analysis.lines[l].box, analysis.lines[l + 1].box))
            text[position] = QLatin1Char('\t');
        ++position;
    }
    return text;
}

Rect grown(const Rect& rect, double by)
{
    return Rect(rect.minX() - by, rect.minY() - by, rect.width() + 2 * by, rect.height() + 2 * by);
}

std::vector<Rect> rectsOf(const SecretRange& range, const TextAnalysis& analysis,
                          const PlacedText& placedText)
{
    struct Segment {
        int line = -1;
        double left = 0;
        double right = 0;
    };
    std::vector<Segment> segments;
    for (qsizetype i = range.begin; i < range.end; ++i) {
        const Rect* box = placedText.box[std::size_t(i)];
        if (!box)
            continue;
        const int lineIndex = placedText.line[std::size_t(i)];
        if (segments.empty() || segments.back().line != lineIndex)
            segments.push_back({lineIndex, box->minX(), box->maxX()});
        Segment& segment = segments.back();
        segment.left = std::min(segment.left, box->minX());
        segment.right = std::max(segment.right, box->maxX());
    }
    if (segments.empty())
        return {};

    std::vector<Rect> rects;
    for (const Segment& segment : segments) {
        const Rect& lineBox = analysis.lines[std::size_t(segment.line)].box;
        rects.push_back(grown(
            Rect(segment.left, lineBox.minY(), segment.right - segment.left, lineBox.height()),
            margin));
    }
    return rects;
}

} // namespace

std::vector<std::pair<SecretRule, SecretRange>> findInText(const SecretText& text)
{
    std::vector<std::pair<SecretRule, SecretRange>> found;
    for (SecretRule rule : allSecretRules) {
        for (const SecretRange& range : SecretRules::find(rule, text)) {
            if (range.end > range.begin)
                found.emplace_back(rule, range);
        }
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.second.begin < b.second.begin; });
    std::vector<std::pair<SecretRule, SecretRange>> merged;
    for (const auto& [rule, range] : found) {
        if (!merged.empty() && range.begin < merged.back().second.end) {
            auto& last = merged.back();
            last.second.end = std::max(last.second.end, range.end);
            // The rules are listed strongest first.
            if (int(rule) < int(last.first))
                last.first = rule;
            continue;
        }
        merged.emplace_back(rule, range);
    }
    return merged;
}

std::vector<SecretMatch> find(const TextAnalysis& analysis)
{
    const PlacedText placedText = placed(analysis);
    const SecretText text(searchText(analysis, placedText));
    std::vector<SecretMatch> matches;
    for (const auto& [rule, range] : findInText(text)) {
        SecretMatch match{rule, range, rectsOf(range, analysis, placedText)};
        if (!match.rects.empty())
            matches.push_back(std::move(match));
    }
    return matches;
}

} // namespace kelpie::SecretFinder
