#include "platform/HanScriptCheck.h"

#include "text/TextLayout.h"

#include <QFont>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>

#include <opencc/DictEntry.hpp>
#include <opencc/MarisaDict.hpp>
#include <opencc/SerializableDict.hpp>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <optional>

namespace kelpie {
namespace {

// Drawn this tall, a reference character shows its strokes apart.
constexpr int referenceSize = 48;

bool isHan(const QString& text)
{
    return text.size() == 1 && TextAnalysis::isCjk(text.at(0).unicode())
        && text.at(0).isLetter();
}

// A character's shape: the darkness of its tight ink box resampled to a
// small square grid, so that sizes and fonts compare.
constexpr int gridSize = 16;
using Shape = std::vector<double>;

Shape shapeIn(const QImage& grey, int left, int right, int top, int bottom)
{
    left = std::max(0, left);
    right = std::min(grey.width() - 1, right);
    top = std::max(0, top);
    bottom = std::min(grey.height() - 1, bottom);
    int x0 = right + 1, x1 = left - 1, y0 = bottom + 1, y1 = top - 1;
    for (int y = top; y <= bottom; ++y) {
        const uchar* row = grey.constScanLine(y);
        for (int x = left; x <= right; ++x) {
            if (row[x] < 160) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
                y0 = std::min(y0, y);
                y1 = std::max(y1, y);
            }
        }
    }
    if (x1 < x0 || y1 < y0)
        return {};
    Shape shape(gridSize * gridSize, 0);
    std::vector<int> counts(gridSize * gridSize, 0);
    const double w = x1 - x0 + 1;
    const double h = y1 - y0 + 1;
    for (int y = y0; y <= y1; ++y) {
        const uchar* row = grey.constScanLine(y);
        const int gy = std::min(gridSize - 1, int((y - y0) * gridSize / h));
        for (int x = x0; x <= x1; ++x) {
            const int gx = std::min(gridSize - 1, int((x - x0) * gridSize / w));
            shape[std::size_t(gy * gridSize + gx)] += (255 - row[x]) / 255.0;
            ++counts[std::size_t(gy * gridSize + gx)];
        }
    }
    for (std::size_t i = 0; i < shape.size(); ++i)
        shape[i] = counts[i] ? shape[i] / counts[i] : 0;
    return shape;
}

double correlation(const Shape& a, const Shape& b)
{
    if (a.size() != b.size() || a.empty())
        return -1;
    const double n = double(a.size());
    double ma = 0, mb = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        ma += a[i];
        mb += b[i];
    }
    ma /= n;
    mb /= n;
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        ab += (a[i] - ma) * (b[i] - mb);
        aa += (a[i] - ma) * (a[i] - ma);
        bb += (b[i] - mb) * (b[i] - mb);
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : -1;
}

} // namespace

struct HanScriptCheck::State {
    std::once_flag opened;
    // Simplified characters and their traditional forms, one or more each
    // (发: 發 and 髮), and the other way round. The character tables alone,
    // not OpenCC's phrase tables: they load in a few milliseconds where a
    // whole conversion takes a tenth of a second, and the picture chooses
    // among the forms.
    std::shared_ptr<opencc::MarisaDict> traditional;
    std::shared_ptr<opencc::MarisaDict> simplified;
    mutable std::mutex lock; // the cache
    mutable QHash<QString, Shape> shapes;
};

HanScriptCheck::HanScriptCheck() : state(new State) { }

HanScriptCheck::~HanScriptCheck() { delete state; }

const HanScriptCheck& HanScriptCheck::instance()
{
    static HanScriptCheck check;
    std::call_once(check.state->opened, [] {
        try {
            check.state->traditional = opencc::SerializableDict::NewFromFile<opencc::MarisaDict>(
                KELPIE_OPENCC_DATA_DIR "/STCharacters.ocd2");
            check.state->simplified = opencc::SerializableDict::NewFromFile<opencc::MarisaDict>(
                KELPIE_OPENCC_DATA_DIR "/TSCharacters.ocd2");
        } catch (const std::exception&) {
            check.state->traditional.reset();
            check.state->simplified.reset();
        }
    });
    return check;
}

bool HanScriptCheck::available() const
{
    // Fonts are drawn off the main thread, which needs the application.
    return state->traditional && state->simplified && qGuiApp;
}

QStringList HanScriptCheck::otherForms(const QString& character, Script script) const
{
    const std::shared_ptr<opencc::MarisaDict>& table
        = script == Script::traditional ? state->traditional : state->simplified;
    if (!table)
        return {};
    const QByteArray utf8 = character.toUtf8();
    const auto entry = table->Match(utf8.constData(), std::size_t(utf8.size()));
    if (entry.IsNull())
        return {};
    QStringList forms;
    for (const std::string& value : entry.Get()->Values()) {
        const QString form = QString::fromStdString(value);
        if (form != character)
            forms.append(form);
    }
    return forms;
}

Shape HanScriptCheck::referenceShape(const QString& character) const
{
    {
        std::lock_guard guard(state->lock);
        const auto found = state->shapes.constFind(character);
        if (found != state->shapes.constEnd())
            return found.value();
    }
    QImage drawn(referenceSize * 2, referenceSize * 2, QImage::Format_Grayscale8);
    drawn.fill(255);
    {
        QPainter painter(&drawn);
        QFont font(QStringLiteral("Noto Sans CJK SC"));
        font.setPixelSize(referenceSize);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(QRect(0, 0, drawn.width(), drawn.height()), Qt::AlignCenter, character);
    }
    const Shape shape = shapeIn(drawn, 0, drawn.width() - 1, 0, drawn.height() - 1);
    std::lock_guard guard(state->lock);
    state->shapes.insert(character, shape);
    return shape;
}

namespace {

// Where each CJK glyph of a line lies. The recogniser's own glyph boxes
// are too rough to measure a character's ink by (they may be a third of a
// character wide, or two), but CJK characters are full width: a stretch of
// them between blanks is an even row of cells.
std::vector<std::optional<std::pair<int, int>>> cjkCells(
    const std::vector<TextAnalysis::Glyph>& glyphs, const QImage& line, int top, int bottom)
{
    const int height = bottom - top + 1;
    std::vector<double> columns(std::size_t(line.width()), 0);
    for (int y = top; y <= bottom; ++y) {
        const uchar* row = line.constScanLine(y);
        for (int x = 0; x < line.width(); ++x)
            columns[std::size_t(x)] += (255 - row[x]) / 255.0;
    }
    const auto cjk = [&glyphs](std::size_t i) {
        return glyphs[i].text.size() == 1 && TextAnalysis::isCjk(glyphs[i].text.at(0).unicode());
    };
    std::vector<std::optional<std::pair<int, int>>> cells(glyphs.size());
    for (std::size_t first = 0; first < glyphs.size();) {
        if (!cjk(first)) {
            ++first;
            continue;
        }
        std::size_t end = first;
        while (end < glyphs.size() && cjk(end))
            ++end;
        const int left = first > 0 ? int(std::ceil(glyphs[first - 1].box.maxX())) : 0;
        const int right = end < glyphs.size() ? int(std::floor(glyphs[end].box.minX())) - 1
                                              : line.width() - 1;
        // Stretches of ink between blanks of almost half a character.
        std::vector<std::pair<int, int>> stretches;
        int blank = 0;
        for (int x = std::max(0, left); x <= std::min(line.width() - 1, right); ++x) {
            if (columns[std::size_t(x)] <= 0.5) {
                ++blank;
                continue;
            }
            if (stretches.empty() || blank >= height * 2 / 5)
                stretches.push_back({x, x});
            stretches.back().second = x;
            blank = 0;
        }
        std::vector<std::vector<std::size_t>> members(stretches.size());
        for (std::size_t i = first; i < end && !stretches.empty(); ++i) {
            const double mid = glyphs[i].box.midX();
            std::size_t nearest = 0;
            double best = 1e9;
            for (std::size_t s = 0; s < stretches.size(); ++s) {
                const double distance
                    = std::max({0.0, stretches[s].first - mid, mid - stretches[s].second});
                if (distance < best) {
                    best = distance;
                    nearest = s;
                }
            }
            members[nearest].push_back(i);
        }
        for (std::size_t s = 0; s < stretches.size(); ++s) {
            if (members[s].empty())
                continue;
            const double pitch
                = (stretches[s].second - stretches[s].first + 1) / double(members[s].size());
            if (pitch < 0.7 * height || pitch > 1.5 * height)
                continue;
            for (std::size_t k = 0; k < members[s].size(); ++k)
                cells[members[s][k]] = std::pair{int(stretches[s].first + k * pitch),
                                                 int(stretches[s].first + (k + 1) * pitch) - 1};
        }
        first = end;
    }
    return cells;
}

} // namespace

HanScriptCheck::Outcome HanScriptCheck::apply(std::vector<TextAnalysis::Glyph>& glyphs,
                                              const QImage& line, Thresholds thresholds,
                                              Script toward) const
{
    std::vector<QStringList> forms(glyphs.size());
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        if (isHan(glyphs[i].text))
            forms[i] = otherForms(glyphs[i].text, toward);
    }
    return choose(glyphs, line, forms, thresholds);
}

HanScriptCheck::Outcome HanScriptCheck::choose(std::vector<TextAnalysis::Glyph>& glyphs,
                                               const QImage& line,
                                               const std::vector<QStringList>& alternatives,
                                               Thresholds thresholds) const
{
    Outcome outcome;
    if (!available() || glyphs.empty() || alternatives.size() != glyphs.size()
        || line.format() != QImage::Format_Grayscale8)
        return outcome;
    const auto [top, bottom] = TextLayout::inkRows(line);
    if (top < 0)
        return outcome;
    const auto cells = cjkCells(glyphs, line, top, bottom);
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        TextAnalysis::Glyph& glyph = glyphs[i];
        const QStringList& forms = alternatives[i];
        if (!isHan(glyph.text) || !cells[i] || forms.isEmpty())
            continue;
        ++outcome.candidates;
        // The cell is where an even row of cells puts the character, which
        // may be off by a few pixels; each form is compared where it fits
        // best near there.
        const int width = cells[i]->second - cells[i]->first + 1;
        const int slack = width / 5;
        const auto fitOf = [&](const QString& form) {
            const Shape reference = referenceShape(form);
            double fit = -1;
            for (int shift = -slack; shift <= slack; ++shift)
                fit = std::max(fit, correlation(shapeIn(line, cells[i]->first + shift,
                                                        cells[i]->second + shift, top, bottom),
                                                reference));
            return fit;
        };
        const double readFit = fitOf(glyph.text);
        double bestFit = -1;
        QString best;
        for (const QString& form : forms) {
            if (!isHan(form))
                continue;
            const double fit = fitOf(form);
            if (fit > bestFit) {
                bestFit = fit;
                best = form;
            }
        }
        if (bestFit >= thresholds.plausible && bestFit > readFit + thresholds.margin) {
            glyph.text = best;
            ++outcome.changed;
        }
    }
    return outcome;
}

} // namespace kelpie
