#include "text/TextLayout.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <numeric>

namespace kelpie::TextLayout {

namespace {

// Backgrounds are estimated on square blocks.
constexpr int blockSize = 8;
constexpr int panelBlocks = 3;
constexpr std::size_t largeFlatArea = 64;
// Pixels along the edge of a filled shape that blend into its surroundings.
constexpr int shapeEdge = 2;
// Grey levels within which a pixel still matches a background.
constexpr int backgroundTolerance = 12;
// Contrast against the background is doubled so faint grey text on grey
// panels reaches full ink.
constexpr int contrastGain = 2;

// Glyphs taller than this are pictures or frames, not text.
constexpr int maximumGlyphHeight = 200;
// Lines lower than this hold specks, not text.
constexpr int minimumLineHeight = 4;
constexpr int minimumLineInk = 6;

struct Box {
    int left = 0;
    int top = 0;
    int right = 0;  // exclusive
    int bottom = 0; // exclusive
    int ink = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    double middleY() const { return (top + bottom) / 2.0; }

    void unite(const Box& other)
    {
        left = std::min(left, other.left);
        top = std::min(top, other.top);
        right = std::max(right, other.right);
        bottom = std::max(bottom, other.bottom);
        ink += other.ink;
    }

    QRect rect() const { return QRect(left, top, width(), height()); }
};

// Connected ink components (8-connected) of a normalised image, found by
// joining runs of ink row by row.
std::vector<Box> components(const QImage& image, const RecognitionCancellation& cancellation)
{
    struct Run {
        int x0;
        int x1; // exclusive
        int label;
    };
    std::vector<int> parent;
    const auto find = [&parent](int label) {
        while (parent[label] != label) {
            parent[label] = parent[parent[label]];
            label = parent[label];
        }
        return label;
    };

    std::vector<Run> previous;
    std::vector<Run> current;
    std::vector<Box> boxes;
    for (int y = 0; y < image.height(); ++y) {
        if ((y & 63) == 0)
            cancellation.throwIfCancelled();
        const std::uint8_t* row = image.constScanLine(y);
        current.clear();
        std::size_t scan = 0;
        for (int x = 0; x < image.width();) {
            if (row[x] >= inkThreshold) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < image.width() && row[x] < inkThreshold)
                ++x;
            int label = -1;
            // Runs of the row above that touch this one, diagonals included.
            while (scan < previous.size() && previous[scan].x1 < start)
                ++scan;
            for (std::size_t i = scan; i < previous.size() && previous[i].x0 <= x; ++i) {
                const int other = find(previous[i].label);
                if (label < 0)
                    label = other;
                else if (other != label) {
                    parent[std::max(label, other)] = std::min(label, other);
                    label = std::min(label, other);
                }
            }
            if (label < 0) {
                label = int(parent.size());
                parent.push_back(label);
                boxes.push_back(Box{start, y, x, y + 1, 0});
            }
            Box& box = boxes[std::size_t(label)];
            box.left = std::min(box.left, start);
            box.right = std::max(box.right, x);
            box.bottom = y + 1;
            box.ink += x - start;
            current.push_back(Run{start, x, label});
        }
        std::swap(previous, current);
    }

    // Fold every label into its root.
    for (std::size_t label = 0; label < parent.size(); ++label) {
        const int root = find(int(label));
        if (root != int(label)) {
            boxes[std::size_t(root)].unite(boxes[label]);
            boxes[label].ink = 0;
        }
    }
    std::vector<Box> result;
    for (std::size_t label = 0; label < parent.size(); ++label) {
        if (parent[label] == int(label))
            result.push_back(boxes[label]);
    }
    return result;
}

bool isText(const Box& box)
{
    const int w = box.width();
    const int h = box.height();
    if (h > maximumGlyphHeight || w > 4 * maximumGlyphHeight)
        return false;
    // Rules and separators: thin and long.
    const int thin = std::min(w, h);
    const int thick = std::max(w, h);
    if (thin <= 3 && thick >= 40 && thick >= 12 * thin)
        return false;
    // Outlines of fields and buttons: wide and hollow.
    if (h >= 8 && w >= 3 * h && box.ink * 100 < 15 * w * h)
        return false;
    // Grids and crossing rules: large and nearly empty. Glyphs, even thin
    // ones, cover a fifth of their box or more.
    if (w * h >= 400 && box.ink * 100 < 6 * w * h)
        return false;
    return true;
}

// Whether a glyph sits on a line: one's vertical middle lies within the
// other's rows.
bool sameRow(const Box& line, const Box& glyph)
{
    return (glyph.middleY() >= line.top && glyph.middleY() < line.bottom)
        || (line.middleY() >= glyph.top && line.middleY() < glyph.bottom);
}

// Joins glyphs, left to right, into lines: a glyph continues the nearest
// line on its row whose end is less than one and a half line heights away
// (wider gaps separate columns and labels).
std::vector<Box> joinLines(std::vector<Box> glyphs)
{
    std::sort(glyphs.begin(), glyphs.end(),
              [](const Box& a, const Box& b) { return a.left < b.left; });
    std::vector<Box> lines;
    std::vector<std::size_t> open;
    for (const Box& glyph : glyphs) {
        std::size_t best = lines.size();
        int bestGap = 0;
        for (std::size_t i = 0; i < open.size();) {
            const Box& line = lines[open[i]];
            const int reach = std::max(line.height(), glyph.height()) * 3 / 2;
            // Glyphs come left to right, so a line this far behind is done.
            if (line.right + 2 * maximumGlyphHeight < glyph.left) {
                open.erase(open.begin() + std::ptrdiff_t(i));
                continue;
            }
            const int gap = glyph.left - line.right;
            if (gap <= reach && sameRow(line, glyph) && (best == lines.size() || gap < bestGap)) {
                best = open[i];
                bestGap = gap;
            }
            ++i;
        }
        if (best == lines.size()) {
            lines.push_back(glyph);
            open.push_back(best);
        } else {
            lines[best].unite(glyph);
        }
    }
    return lines;
}

// Small pieces that sit just above or below a line (underscores, commas,
// accents that missed the row test) join the line they touch.
std::vector<Box> mergeFragments(std::vector<Box> lines)
{
    std::sort(lines.begin(), lines.end(),
              [](const Box& a, const Box& b) { return a.height() > b.height(); });
    std::vector<Box> kept;
    for (const Box& piece : lines) {
        bool merged = false;
        for (Box& line : kept) {
            if (piece.height() * 2 > line.height())
                continue;
            const int margin = std::max(2, line.height() / 3);
            const bool nearRows
                = piece.top < line.bottom + margin && piece.bottom > line.top - margin;
            const bool nearColumns = piece.left < line.right + line.height() / 2
                && piece.right > line.left - line.height() / 2;
            if (nearRows && nearColumns) {
                line.unite(piece);
                merged = true;
                break;
            }
        }
        if (!merged)
            kept.push_back(piece);
    }
    return kept;
}

// Reading order: lines that follow each other closely in one column form a
// block; blocks go top to bottom, then left to right.
std::vector<QRect> readingOrder(std::vector<Box> lines)
{
    std::sort(lines.begin(), lines.end(), [](const Box& a, const Box& b) {
        return a.top != b.top ? a.top < b.top : a.left < b.left;
    });
    std::vector<std::vector<Box>> blocks;
    for (const Box& line : lines) {
        std::vector<Box>* best = nullptr;
        int bestGap = 0;
        for (auto& block : blocks) {
            const Box& last = block.back();
            const int gap = line.top - last.bottom;
            const int height = std::max(line.height(), last.height());
            const bool overlapsColumns = line.left < last.right && line.right > last.left;
            const bool alike
                = line.height() * 2 >= last.height() && last.height() * 2 >= line.height();
            if (overlapsColumns && alike && gap >= -height / 2 && gap <= 3 * height
                && (!best || gap < bestGap)) {
                best = &block;
                bestGap = gap;
            }
        }
        if (best)
            best->push_back(line);
        else
            blocks.push_back({line});
    }
    // Blocks were opened in order of their first line's top; those starting
    // on about the same row go left to right.
    std::size_t bandStart = 0;
    for (std::size_t i = 1; i <= blocks.size(); ++i) {
        const Box& first = blocks[bandStart].front();
        if (i < blocks.size() && blocks[i].front().top < first.top + first.height() / 2)
            continue;
        std::stable_sort(
            blocks.begin() + std::ptrdiff_t(bandStart), blocks.begin() + std::ptrdiff_t(i),
            [](const auto& a, const auto& b) { return a.front().left < b.front().left; });
        bandStart = i;
    }
    std::vector<QRect> result;
    for (const auto& block : blocks) {
        for (const Box& line : block)
            result.push_back(line.rect());
    }
    return result;
}

} // namespace

QImage grey(const QImage& image)
{
    if (image.isNull())
        return {};
    const QImage source = image.format() == QImage::Format_ARGB32_Premultiplied
        ? image
        : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage result(image.width(), image.height(), QImage::Format_Grayscale8);
    if (source.isNull() || result.isNull())
        return {};
    // Luminance of the premultiplied colour plus the white showing through.
    for (int y = 0; y < source.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        std::uint8_t* out = result.scanLine(y);
        for (int x = 0; x < source.width(); ++x) {
            const QRgb p = in[x];
            const int luminance = (qRed(p) * 77 + qGreen(p) * 150 + qBlue(p) * 29) >> 8;
            out[x] = std::uint8_t(std::min(255, luminance + 255 - qAlpha(p)));
        }
    }
    return result;
}

QImage normalized(const QImage& greyImage)
{
    if (greyImage.isNull() || greyImage.format() != QImage::Format_Grayscale8)
        return {};
    QImage grey = greyImage.copy();
    if (grey.isNull())
        return {};
    const int width = grey.width();
    const int height = grey.height();

    const int columns = (width + blockSize - 1) / blockSize;
    const int rows = (height + blockSize - 1) / blockSize;
    const auto at = [columns](int bx, int by) {
        return std::size_t(by) * std::size_t(columns) + std::size_t(bx);
    };

    // Each block's most frequent grey value is its background when it covers
    // at least half the block (a flat panel showing through). Blocks crowded
    // with strokes take the background of the nearest such block instead.
    std::vector<std::uint8_t> background(std::size_t(columns) * std::size_t(rows));
    std::vector<std::size_t> settled;
    std::vector<bool> known(background.size(), false);
    std::vector<bool> flat(background.size(), false);
    std::vector<bool> pure(background.size(), false);
    std::array<int, 256> histogram{};
    for (int by = 0; by < rows; ++by) {
        for (int bx = 0; bx < columns; ++bx) {
            const int x0 = bx * blockSize;
            const int x1 = std::min(width, x0 + blockSize);
            const int y0 = by * blockSize;
            const int y1 = std::min(height, y0 + blockSize);
            int best = 0;
            int bestCount = 0;
            for (int y = y0; y < y1; ++y) {
                const std::uint8_t* row = grey.constScanLine(y);
                for (int x = x0; x < x1; ++x) {
                    const int n = ++histogram[row[x]];
                    if (n > bestCount) {
                        bestCount = n;
                        best = row[x];
                    }
                }
            }
            for (int y = y0; y < y1; ++y) {
                const std::uint8_t* row = grey.constScanLine(y);
                for (int x = x0; x < x1; ++x)
                    histogram[row[x]] = 0;
            }
            const std::size_t block = at(bx, by);
            background[block] = std::uint8_t(best);
            flat[block] = 2 * bestCount >= (x1 - x0) * (y1 - y0);
            pure[block] = 10 * bestCount >= 9 * (x1 - x0) * (y1 - y0);
        }
    }
    const std::array<std::pair<int, int>, 4> steps{{{-1, 0}, {1, 0}, {0, -1}, {0, 1}}};
    // Panels are found two ways. Somewhere a panel is clear of text over
    // three by three blocks, which even dense bold glyphs are not. And a
    // large area of flat blocks of one value is a panel even where text
    // covers it closely (a terminal); the flat blocks inside one glyph, even
    // a large bold one, are far fewer.
    const auto alike = [&](int bx, int by, std::uint8_t value) {
        return bx >= 0 && by >= 0 && bx < columns && by < rows && flat[at(bx, by)]
            && std::abs(int(background[at(bx, by)]) - int(value)) <= backgroundTolerance;
    };
    const auto clear = [&](int left, int top, std::uint8_t value) {
        for (int y = top; y < top + panelBlocks; ++y) {
            for (int x = left; x < left + panelBlocks; ++x) {
                if (!alike(x, y, value) || !pure[at(x, y)])
                    return false;
            }
        }
        return true;
    };
    for (int by = 0; by < rows; ++by) {
        for (int bx = 0; bx < columns; ++bx) {
            const std::size_t block = at(bx, by);
            if (!pure[block])
                continue;
            bool panel = false;
            for (int dy = 1 - panelBlocks; dy <= 0 && !panel; ++dy) {
                for (int dx = 1 - panelBlocks; dx <= 0 && !panel; ++dx)
                    panel = clear(bx + dx, by + dy, background[block]);
            }
            if (panel) {
                known[block] = true;
                settled.push_back(block);
            }
        }
    }
    std::vector<bool> visited(background.size(), false);
    std::vector<std::size_t> area;
    for (std::size_t start = 0; start < background.size(); ++start) {
        if (!flat[start] || visited[start] || known[start])
            continue;
        area.assign(1, start);
        visited[start] = true;
        for (std::size_t next = 0; next < area.size(); ++next) {
            const int bx = int(area[next] % std::size_t(columns));
            const int by = int(area[next] / std::size_t(columns));
            for (const auto& [dx, dy] : steps) {
                const int nx = bx + dx;
                const int ny = by + dy;
                if (alike(nx, ny, background[start]) && !visited[at(nx, ny)]
                    && !known[at(nx, ny)]) {
                    visited[at(nx, ny)] = true;
                    area.push_back(at(nx, ny));
                }
            }
        }
        if (area.size() >= largeFlatArea) {
            for (const std::size_t block : area) {
                known[block] = true;
                settled.push_back(block);
            }
        }
    }
    // Grows `settled` breadth first into the unknown neighbours `admits`
    // accepts; `reach` hears of each block reached and the one it came from.
    const auto spread = [&](auto admits, auto reach) {
        for (std::size_t next = 0; next < settled.size(); ++next) {
            const std::size_t block = settled[next];
            const int bx = int(block % std::size_t(columns));
            const int by = int(block / std::size_t(columns));
            for (const auto& [dx, dy] : steps) {
                const int nx = bx + dx;
                const int ny = by + dy;
                if (nx < 0 || ny < 0 || nx >= columns || ny >= rows || known[at(nx, ny)]
                    || !admits(nx, ny, block))
                    continue;
                known[at(nx, ny)] = true;
                reach(at(nx, ny), block);
                settled.push_back(at(nx, ny));
            }
        }
    };
    // A panel extends through the flat blocks of its colour that touch it,
    // also where text keeps it from being three blocks wide (a status bar,
    // a button). Flat blocks not reached (thick strokes) stay unknown.
    spread([&](int nx, int ny, std::size_t from) { return alike(nx, ny, background[from]); },
           [](std::size_t, std::size_t) {});
    // Breadth first from the panels, so every other block gets the
    // background of a nearest panel. Without any panel (a photo, a
    // gradient) every block keeps its own most frequent value.
    spread([](int, int, std::size_t) { return true; },
           [&](std::size_t reached, std::size_t from) { background[reached] = background[from]; });

    // A pixel between the backgrounds of neighbouring blocks belongs to the
    // edge between two panels, not to text.
    std::vector<std::uint8_t> low(background.size());
    std::vector<std::uint8_t> high(background.size());
    for (int by = 0; by < rows; ++by) {
        for (int bx = 0; bx < columns; ++bx) {
            int lo = 255;
            int hi = 0;
            for (int ny = std::max(0, by - 1); ny <= std::min(rows - 1, by + 1); ++ny) {
                for (int nx = std::max(0, bx - 1); nx <= std::min(columns - 1, bx + 1); ++nx) {
                    lo = std::min<int>(lo, background[at(nx, ny)]);
                    hi = std::max<int>(hi, background[at(nx, ny)]);
                }
            }
            low[at(bx, by)] = std::uint8_t(std::max(0, lo - backgroundTolerance));
            high[at(bx, by)] = std::uint8_t(std::min(255, hi + backgroundTolerance));
        }
    }

    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = grey.scanLine(y);
        const int by = y / blockSize;
        for (int x = 0; x < width; ++x) {
            const std::size_t block = at(x / blockSize, by);
            const int value = row[x];
            if (value >= low[block] && value <= high[block]) {
                row[x] = 255;
            } else {
                const int contrast = std::abs(value - int(background[block])) * contrastGain;
                row[x] = std::uint8_t(255 - std::min(255, contrast));
            }
        }
    }
    return grey;
}

std::vector<QRect> lines(const QImage& normalized, const RecognitionCancellation& cancellation)
{
    if (normalized.isNull() || normalized.format() != QImage::Format_Grayscale8)
        return {};
    std::vector<Box> glyphs;
    for (const Box& box : components(normalized, cancellation)) {
        if (isText(box))
            glyphs.push_back(box);
    }
    cancellation.throwIfCancelled();
    std::vector<Box> found = mergeFragments(joinLines(std::move(glyphs)));
    std::erase_if(found, [](const Box& line) {
        return line.height() < minimumLineHeight || line.ink < minimumLineInk;
    });
    return readingOrder(std::move(found));
}

LineImage lineImage(const QImage& grey, const QRect& line, int minimumHeight)
{
    // Line recognisers read best with about half a line of blank around.
    const int margin = std::max(2, line.height() / 2);
    const QRect crop = line.adjusted(-margin, -margin, margin, margin).intersected(grey.rect());
    if (crop.isEmpty() || grey.format() != QImage::Format_Grayscale8)
        return {};

    // The background is what surrounds the line's ink. When the rim just
    // inside the line is mostly one other flat value, the line is a filled
    // shape (a button) and its fill is the background; the outside then
    // counts as background too.
    std::array<int, 256> outside{};
    std::array<int, 256> rim{};
    int rimCount = 0;
    for (int y = crop.top(); y <= crop.bottom(); ++y) {
        const std::uint8_t* row = grey.constScanLine(y);
        for (int x = crop.left(); x <= crop.right(); ++x) {
            if (!line.contains(x, y))
                ++outside[row[x]];
            else if (x == line.left() || x == line.right() || y == line.top()
                     || y == line.bottom()) {
                ++rim[row[x]];
                ++rimCount;
            }
        }
    }
    const auto mostFrequent = [](const std::array<int, 256>& histogram) {
        return int(std::max_element(histogram.begin(), histogram.end()) - histogram.begin());
    };
    const bool hasOutside = std::accumulate(outside.begin(), outside.end(), 0) > 0;
    const int around = hasOutside ? mostFrequent(outside) : mostFrequent(rim);
    const int fill = mostFrequent(rim);
    const bool filled = std::abs(fill - around) > backgroundTolerance
        && 10 * rim[std::size_t(fill)] >= 6 * rimCount;
    const int background = filled ? fill : around;
    // Inside a filled shape its edge (blending into the surroundings) is
    // background too, and everything outside the shape is.
    const QRect inner = filled ? line.adjusted(shapeEdge, shapeEdge, -shapeEdge, -shapeEdge) : line;
    const int low = std::min(fill, around) - backgroundTolerance;
    const int high = std::max(fill, around) + backgroundTolerance;

    QImage image(crop.size(), QImage::Format_Grayscale8);
    if (image.isNull())
        return {};
    for (int y = 0; y < crop.height(); ++y) {
        const int sy = crop.top() + y;
        const std::uint8_t* in = grey.constScanLine(sy) + crop.left();
        std::uint8_t* out = image.scanLine(y);
        for (int x = 0; x < crop.width(); ++x) {
            const int sx = crop.left() + x;
            const int value = in[x];
            const int contrast = std::abs(value - background);
            bool blank = contrast <= backgroundTolerance;
            if (filled && !inner.contains(sx, sy))
                blank = !line.contains(sx, sy) || (value >= low && value <= high);
            out[x] = blank ? 255 : std::uint8_t(255 - std::min(255, contrast * contrastGain));
        }
    }

    LineImage result{image, crop.topLeft(), 1};
    if (line.height() < minimumHeight) {
        result.scale = double(minimumHeight) / line.height();
        result.image = image.scaled(int(std::lround(crop.width() * result.scale)),
                                    int(std::lround(crop.height() * result.scale)),
                                    Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (result.image.isNull())
            return {};
    }
    return result;
}

double inkSpan(const QImage& normalized, const QRect& line)
{
    const QRect box = line.intersected(normalized.rect());
    if (box.isEmpty() || normalized.format() != QImage::Format_Grayscale8)
        return 0;
    std::vector<double> rows(std::size_t(box.height()), 0.0);
    double total = 0;
    for (int y = 0; y < box.height(); ++y) {
        const std::uint8_t* row = normalized.constScanLine(box.top() + y);
        for (int x = box.left(); x <= box.right(); ++x)
            rows[std::size_t(y)] += 255 - row[x];
        total += rows[std::size_t(y)];
    }
    if (total <= 0)
        return 0;
    double sum = 0;
    int first = -1;
    int last = box.height() - 1;
    for (int y = 0; y < box.height(); ++y) {
        sum += rows[std::size_t(y)];
        if (first < 0 && sum >= 0.1 * total)
            first = y;
        if (sum >= 0.9 * total) {
            last = y;
            break;
        }
    }
    return double(last - first + 1) / box.height();
}

int blankWidth(const QImage& normalized, int top, int bottom, int fromX, int toX)
{
    top = std::max(0, top);
    bottom = std::min(normalized.height(), bottom);
    fromX = std::max(0, fromX);
    toX = std::min(normalized.width(), toX);
    int widest = 0;
    int run = 0;
    for (int x = fromX; x < toX; ++x) {
        bool blank = true;
        for (int y = top; y < bottom && blank; ++y)
            blank = normalized.constScanLine(y)[x] >= inkThreshold;
        run = blank ? run + 1 : 0;
        widest = std::max(widest, run);
    }
    return widest;
}

} // namespace kelpie::TextLayout
