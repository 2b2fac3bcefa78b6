#include "text/CheckBoxMarks.h"

#include "text/TextLayout.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <utility>
#include <vector>

namespace kelpie {
namespace {

// A frame pixel is darker than the line's ground by one of these: the light
// grey edge of a box on a light dialog is about 50 darker, and the inside of
// a box may be shaded a little itself, so the frame is looked for at
// several depths.
constexpr std::array<int, 4> frameContrasts{30, 50, 70, 90};
// Of a frame's pixels, at least this share lies on the edges of its box
// (a hollow square), and each of its four sides is this much covered.
constexpr double hollowShare = 0.8;
constexpr double sideCover = 0.8;

bool isTickReading(const QString& text)
{
    static const QString ticks = QString::fromUtf8("VvYy√✓✔");
    return text.size() == 1 && ticks.contains(text.at(0));
}

bool isEdgeReading(const QString& text)
{
    static const QString edges = QString::fromUtf8("|Il[]");
    return text.size() == 1 && edges.contains(text.at(0));
}

// The commonest grey of the line: its ground.
int groundOf(const QImage& line)
{
    std::array<int, 256> counts{};
    for (int y = 0; y < line.height(); ++y) {
        const uchar* row = line.constScanLine(y);
        for (int x = 0; x < line.width(); ++x)
            ++counts[row[x]];
    }
    return int(std::max_element(counts.begin(), counts.end()) - counts.begin());
}

struct Frame {
    int left, top, right, bottom;
    // Boxes of marks are rough: an edge read as "|" is boxed on the edge.
    bool holds(const Rect& box) const
    {
        return box.midX() >= left - 2 && box.midX() <= right + 2 && box.midY() >= top - 2
            && box.midY() <= bottom + 2;
    }
};

using Pixels = std::vector<std::pair<int, int>>;

// A rectangle of a line's pixels, edges included.
struct Window {
    int x0, y0, x1, y1;
    int width() const { return x1 - x0 + 1; }
    bool contains(int x, int y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
    std::size_t index(int x, int y) const { return std::size_t((y - y0) * width() + (x - x0)); }
};

// Each connected stretch of the window's pixels that `dark` picks, by flood
// fill, handed to `visit` until it returns true.
template<typename Dark, typename Visit>
void forEachStretch(const Window& window, Dark dark, Visit visit)
{
    std::vector<bool> seen(window.index(window.x1, window.y1) + 1, false);
    Pixels stack;
    for (int sy = window.y0; sy <= window.y1; ++sy) {
        for (int sx = window.x0; sx <= window.x1; ++sx) {
            if (seen[window.index(sx, sy)] || !dark(sx, sy))
                continue;
            Pixels pixels;
            seen[window.index(sx, sy)] = true;
            stack.push_back({sx, sy});
            while (!stack.empty()) {
                const auto [px, py] = stack.back();
                stack.pop_back();
                pixels.push_back({px, py});
                for (const auto& [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
                    const int nx = px + dx;
                    const int ny = py + dy;
                    if (window.contains(nx, ny) && !seen[window.index(nx, ny)] && dark(nx, ny)) {
                        seen[window.index(nx, ny)] = true;
                        stack.push_back({nx, ny});
                    }
                }
            }
            if (visit(pixels))
                return;
        }
    }
}

Frame boundsOf(const Pixels& pixels)
{
    Frame box{pixels.front().first, pixels.front().second, pixels.front().first,
              pixels.front().second};
    for (const auto& [px, py] : pixels) {
        box.left = std::min(box.left, px);
        box.right = std::max(box.right, px);
        box.top = std::min(box.top, py);
        box.bottom = std::max(box.bottom, py);
    }
    return box;
}

// Whether `pixels`, bounded by `box`, keep to the edges of their box and
// cover each of the four (an edge drawn larger is a few pixels thick).
bool isHollow(const Pixels& pixels, const Frame& box)
{
    const int side = box.right - box.left + 1;
    const int tall = box.bottom - box.top + 1;
    const int band = std::max(2, std::max(side, tall) / 8);
    int onEdges = 0;
    std::vector<bool> left(std::size_t(tall), false);
    std::vector<bool> right(std::size_t(tall), false);
    std::vector<bool> top(std::size_t(side), false);
    std::vector<bool> bottom(std::size_t(side), false);
    for (const auto& [px, py] : pixels) {
        const bool l = px - box.left < band;
        const bool r = box.right - px < band;
        const bool t = py - box.top < band;
        const bool b = box.bottom - py < band;
        onEdges += l || r || t || b;
        const auto row = std::size_t(py - box.top);
        const auto column = std::size_t(px - box.left);
        left[row] = left[row] || l;
        right[row] = right[row] || r;
        top[column] = top[column] || t;
        bottom[column] = bottom[column] || b;
    }
    const auto covers = [](const std::vector<bool>& edge) {
        return double(std::ranges::count(edge, true)) >= sideCover * double(edge.size());
    };
    return onEdges >= hollowShare * double(pixels.size()) && covers(left) && covers(right)
        && covers(top) && covers(bottom);
}

// The hollow square, of pixels `frameContrast` darker than the ground and
// apart from everything else, around (x, y), the middle of a tick's box.
std::optional<Frame> frameAround(const QImage& line, int x, int y, int ground, int inkHeight,
                                 int frameContrast)
{
    const int reach = std::max(4, inkHeight);
    const Window window{std::max(0, x - reach), std::max(0, y - reach),
                        std::min(line.width() - 1, x + reach),
                        std::min(line.height() - 1, y + reach)};
    if (!window.contains(x, y))
        return std::nullopt;
    const auto dark = [&](int px, int py) {
        return line.constScanLine(py)[px] <= ground - frameContrast;
    };
    std::optional<Frame> found;
    forEachStretch(window, dark, [&](const Pixels& pixels) {
        const Frame box = boundsOf(pixels);
        const int side = box.right - box.left + 1;
        const int tall = box.bottom - box.top + 1;
        const bool around = x > box.left && x < box.right && y > box.top && y < box.bottom;
        const bool boxSized = side >= 8 && tall >= 8
            && std::max(side, tall) <= 2 * std::max(8, inkHeight)
            && std::abs(side - tall) <= std::max(side, tall) / 4;
        if (around && boxSized && isHollow(pixels, box))
            found = box;
        return found.has_value();
    });
    return found;
}

} // namespace

int CheckBoxMarks::drop(const QImage& line, std::vector<TextAnalysis::Glyph>& glyphs,
                        std::vector<double>& confidences)
{
    if (line.format() != QImage::Format_Grayscale8 || confidences.size() != glyphs.size())
        return 0;
    const auto tick = std::ranges::find_if(
        glyphs, [](const TextAnalysis::Glyph& glyph) { return isTickReading(glyph.text); });
    if (tick == glyphs.end())
        return 0;
    const int ground = groundOf(line);
    const auto [inkTop, inkBottom] = TextLayout::inkRows(line);
    const int inkHeight = inkTop < 0 ? 0 : inkBottom - inkTop + 1;
    std::optional<Frame> frame;
    for (const int contrast : frameContrasts) {
        frame = frameAround(line, int(std::lround(tick->box.midX())),
                            int(std::lround(tick->box.midY())), ground, inkHeight, contrast);
        if (frame)
            break;
    }
    if (!frame)
        return 0;
    return TextAnalysis::dropGlyphs(glyphs, confidences, [&](std::size_t i) {
        const TextAnalysis::Glyph& glyph = glyphs[i];
        return (isTickReading(glyph.text) || isEdgeReading(glyph.text)) && frame->holds(glyph.box);
    });
}

} // namespace kelpie
