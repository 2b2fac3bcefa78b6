#include "editor/ToolbarButton.h"

#include "editor/CoreAppearance.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

using namespace kelpie;
using CoreAppearance::Appearance;

namespace {

QPalette paletteFor(Appearance appearance)
{
    const QColor window = CoreAppearance::windowBackground.resolved(appearance);
    return QPalette(window, window);
}

// Switches the whole application, as the desktop's appearance switch does.
class AppearanceScope {
public:
    explicit AppearanceScope(Appearance appearance) : m_saved(QApplication::palette())
    {
        QApplication::setPalette(paletteFor(appearance));
    }
    ~AppearanceScope() { QApplication::setPalette(m_saved); }

private:
    QPalette m_saved;
};

QImage grab(ToolbarButton& button, double ratio = 1)
{
    button.resize(button.sizeHint());
    QImage image(button.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    button.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// The alpha of the most opaque pixel inside a rectangle (in points).
int strongestAlpha(const QImage& image, const QRectF& area)
{
    const double ratio = image.devicePixelRatio();
    int best = 0;
    for (int y = int(area.top() * ratio); y < int(area.bottom() * ratio); ++y)
        for (int x = int(area.left() * ratio); x < int(area.right() * ratio); ++x)
            best = std::max(best, qAlpha(image.pixel(x, y)));
    return best;
}

int distance(const QColor& a, const QColor& b);

// The lightest (or darkest) fully opaque pixel inside a rectangle.
QColor extreme(const QImage& image, const QRectF& area, bool lightest)
{
    const double ratio = image.devicePixelRatio();
    QColor best = lightest ? QColor(0, 0, 0) : QColor(255, 255, 255);
    for (int y = int(area.top() * ratio); y < int(area.bottom() * ratio); ++y)
        for (int x = int(area.left() * ratio); x < int(area.right() * ratio); ++x) {
            const QRgb p = image.pixel(x, y);
            const QColor c = QColor::fromRgb(p);
            if (qAlpha(p) == 255
                && (lightest ? c.lightness() > best.lightness() : c.lightness() < best.lightness()))
                best = c;
        }
    return best;
}

// How near the nearest opaque pixel inside a rectangle comes to a colour.
int nearest(const QImage& image, const QRectF& area, const QColor& color)
{
    const double ratio = image.devicePixelRatio();
    int best = 255;
    for (int y = int(area.top() * ratio); y < int(area.bottom() * ratio); ++y)
        for (int x = int(area.left() * ratio); x < int(area.right() * ratio); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qAlpha(p) == 255)
                best = std::min(best, distance(QColor::fromRgb(p), color));
        }
    return best;
}

int distance(const QColor& a, const QColor& b)
{
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                     std::abs(a.blue() - b.blue())});
}

} // namespace

TEST(ToolbarButton, IntrinsicWidthFollowsTitleIconAndMinimumTitle)
{
    ToolbarButton plain;
    EXPECT_EQ(plain.sizeHint().width(), ToolbarButton::iconButtonWidth);
    ToolbarButton compact;
    compact.setCompact(true);
    EXPECT_EQ(compact.sizeHint().width(), 44);

    // Reserving the width of a longer title keeps the button from resizing.
    ToolbarButton copy(QStringLiteral("复制"), ControlImage::symbol(ControlSymbol::docOnDoc));
    ToolbarButton copyText(QStringLiteral("复制文字"),
                           ControlImage::symbol(ControlSymbol::docOnDoc));
    EXPECT_LT(copy.sizeHint().width(), copyText.sizeHint().width());
    copy.setMinimumTitle(QStringLiteral("复制文字"));
    EXPECT_EQ(copy.sizeHint().width(), copyText.sizeHint().width());

    // Title width in the 14-pixel system font, icon, gap and two paddings.
    const QFontMetricsF metrics(CoreAppearance::systemFont(14));
    const double title = metrics.horizontalAdvance(QStringLiteral("复制文字"));
    EXPECT_EQ(copyText.sizeHint().width(), int(title + copyText.fittedIconSize().width() + 7 + 22));
    ToolbarButton untitledIcon(QString(), ControlImage::symbol(ControlSymbol::xmark));
    EXPECT_EQ(untitledIcon.sizeHint().width(), ToolbarButton::iconButtonWidth);
}

TEST(ToolbarButton, ImagesAreScaledDownIntoTheIconBoxButNeverUp)
{
    QImage small(16, 16, QImage::Format_ARGB32_Premultiplied);
    small.fill(Qt::red);
    ToolbarButton swatch(QString(), ControlImage::bitmap(small, false));
    EXPECT_EQ(swatch.fittedIconSize(), QSizeF(16, 16));

    const auto wide = ControlImage::drawing(QSizeF(44, 24), true, [](QPainter&, const QRectF&) {});
    ToolbarButton sample(QString(), wide);
    sample.setSample(true);
    EXPECT_EQ(sample.fittedIconSize(), QSizeF(32, 32 * 24 / 44.0));
    ToolbarButton plain(QString(), wide);
    EXPECT_EQ(plain.fittedIconSize(), QSizeF(19, 19 * 24 / 44.0));

    // The toolbar style's larger symbol still fits the 19-point box.
    ToolbarButton tool(QString(), ControlImage::symbol(ControlSymbol::pencil));
    const QSizeF before = tool.fittedIconSize();
    tool.configureToolbarStyle();
    EXPECT_EQ(tool.image().pointSize(), 18);
    EXPECT_EQ(tool.font().pixelSize(), 16);
    EXPECT_EQ(tool.fittedIconSize(), QSizeF(19, 19));
    EXPECT_LE(before.width(), 19);
    // A bitmap has no symbol configuration and is kept as it was.
    swatch.configureToolbarStyle();
    EXPECT_EQ(swatch.image().size(), QSizeF(16, 16));
}

TEST(ToolbarButton, PrimaryIsAccentWithWhiteContentInBothAppearances)
{
    for (const Appearance appearance : {Appearance::light, Appearance::dark}) {
        AppearanceScope scope(appearance);
        ToolbarButton done(QStringLiteral("完成"), ControlImage::symbol(ControlSymbol::checkmark));
        done.setPrimary(true);
        done.configureToolbarStyle();
        EXPECT_EQ(done.backgroundColor(), CoreAppearance::accent.resolved(appearance));
        EXPECT_EQ(done.contentTintColor(), QColor(Qt::white));

        const QImage image = grab(done, 2);
        const auto frames = done.contentFrames(done.rect());
        EXPECT_EQ(nearest(image, frames.icon, Qt::white), 0);
        EXPECT_EQ(nearest(image, frames.title, Qt::white), 0);
        // Away from the rounded corners the background is the accent.
        EXPECT_EQ(QColor::fromRgba(image.pixel(2 * 20, 2 * 2)).rgb(),
                  CoreAppearance::accent.resolved(appearance).rgb());
    }
}

TEST(ToolbarButton, SwitchingTheAppearanceRetintsTheSameButton)
{
    QWidget window;
    auto* tool
        = new ToolbarButton(QString(), ControlImage::symbol(ControlSymbol::arrowUpRight), &window);
    tool->setCheckable(true);
    tool->configureToolbarStyle();
    tool->resize(tool->sizeHint());
    const QRectF icon = tool->contentFrames(tool->rect()).icon;
    const QColor darkOn = QColor::fromRgbF(0.68f, 0.86f, 0.78f);

    {
        AppearanceScope scope(Appearance::light);
        EXPECT_LE(distance(extreme(grab(*tool), icon, false), Qt::black), 40);
        tool->setChecked(true);
        EXPECT_EQ(tool->backgroundColor().rgb(), QColor::fromRgbF(0.90f, 0.94f, 0.92f).rgb());
        EXPECT_LE(distance(extreme(grab(*tool), icon, false), CoreAppearance::accent.light), 6);
    }
    {
        AppearanceScope scope(Appearance::dark);
        EXPECT_EQ(tool->backgroundColor().rgb(), QColor::fromRgbF(0.19f, 0.29f, 0.25f).rgb());
        EXPECT_LE(distance(extreme(grab(*tool), icon, true), darkOn), 6);
        tool->setChecked(false);
        EXPECT_EQ(tool->backgroundColor().alpha(), 0);
        // The white label colour, at its 0.85, over the black template.
        EXPECT_LE(distance(extreme(grab(*tool), icon, true), QColor(217, 217, 217)), 3);
    }
    EXPECT_EQ(tool->parent(), &window);
}

TEST(ToolbarButton, DisabledContentIsFadedAndPressedLookIsTinted)
{
    AppearanceScope scope(Appearance::light);
    ToolbarButton button(QStringLiteral("保存"),
                         ControlImage::symbol(ControlSymbol::squareAndArrowDown));
    const QRectF icon = button.contentFrames(QRectF(QPointF(0, 0), button.sizeHint())).icon;
    const int enabledAlpha = strongestAlpha(grab(button), icon);
    button.setEnabled(false);
    const int disabledAlpha = strongestAlpha(grab(button), icon);
    EXPECT_NEAR(disabledAlpha, enabledAlpha * 0.42, 3);

    button.setEnabled(true);
    EXPECT_EQ(QColor::fromRgba(grab(button).pixel(4, button.height() / 2)).alpha(), 0);
    button.setDown(true);
    // The label colour at 0.12 of its own alpha fills the button.
    const int pressed = QColor::fromRgba(grab(button).pixel(4, button.height() / 2)).alpha();
    EXPECT_NEAR(pressed, 255 * 0.85 * 0.12, 2);
}

TEST(ToolbarButton, BezeledButtonsShowAnOutlineAndAHoverLookPlainOnesNeither)
{
    AppearanceScope scope(Appearance::light);
    ToolbarButton button(QStringLiteral("复制"), ControlImage::symbol(ControlSymbol::docOnDoc));
    auto edgeAlpha = [&](double ratio) {
        const QImage image = grab(button, ratio);
        // Top edge, half way along: on the outline, clear of the content.
        return qAlpha(image.pixel(image.width() / 2, 0));
    };
    auto underMouse = [&](bool under) {
        button.setAttribute(Qt::WA_UnderMouse, under);
        return grab(button).pixel(4, button.height() / 2);
    };
    EXPECT_EQ(edgeAlpha(1), 0);
    EXPECT_EQ(underMouse(true), underMouse(false));

    button.setBezeled(true);
    EXPECT_TRUE(button.testAttribute(Qt::WA_Hover));
    // A whole device pixel of outline at 1× and 2×, not a faint half.
    EXPECT_GE(edgeAlpha(1), 30);
    EXPECT_GE(edgeAlpha(2), 30);
    const QRgb hovered = underMouse(true);
    const QRgb resting = underMouse(false);
    EXPECT_GT(qAlpha(hovered), qAlpha(resting));
    EXPECT_GT(qAlpha(resting), 0);
}

TEST(ToolbarButton, AHiddenIconTakesNoRoomAndComesBack)
{
    ToolbarButton button(QStringLiteral("复制"), ControlImage::symbol(ControlSymbol::docOnDoc));
    const int withIcon = button.intrinsicWidth();
    button.setIconHidden(true);
    EXPECT_EQ(button.intrinsicWidth(), ToolbarButton(QStringLiteral("复制")).intrinsicWidth());
    EXPECT_TRUE(button.contentFrames(QRectF(0, 0, 80, 32)).icon.isEmpty());
    button.setIconHidden(false);
    EXPECT_EQ(button.intrinsicWidth(), withIcon);
}
