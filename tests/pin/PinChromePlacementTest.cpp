#include "pin/PinChromePlacement.h"

#include <gtest/gtest.h>

using namespace kelpie;
using PinChromePlacement::Frames;

namespace {

// A laptop screen below a 25-point menu bar, desktop space (y up).
const Rect visible(0, 25, 1440, 875);
constexpr Size primary{300, 44};
constexpr Size secondary{260, 40};

Frames viewing(const Rect& pin, std::optional<Size> second = secondary)
{
    return PinChromePlacement::place(pin, visible, primary, second, false, {});
}

} // namespace

TEST(PinChromePlacement, PrimaryAboveThePinRightAlignedSecondaryBelowLeftAligned)
{
    const Frames frames = viewing(Rect(220, 212.5, 1000, 500));
    EXPECT_EQ(frames.primary, Rect(920, 716.5, 300, 44));
    EXPECT_EQ(frames.secondary, Rect(220, 164.5, 260, 40));
    EXPECT_DOUBLE_EQ(PinChromePlacement::maximumPanelWidth(visible), 1416);
    EXPECT_DOUBLE_EQ(PinChromePlacement::maximumPanelWidth(Rect(0, 0, 20, 20)), 0);
}

TEST(PinChromePlacement, PinAtTheTopOfTheScreenTakesThePrimaryPanelInsideItsTopEdge)
{
    // 904 + 44 would pass the visible frame's top at 900.
    EXPECT_EQ(viewing(Rect(100, 500, 600, 400)).primary, Rect(400, 850, 300, 44));
    // Exactly enough room above still goes above.
    EXPECT_EQ(viewing(Rect(100, 452, 600, 400)).primary, Rect(400, 856, 300, 44));
}

TEST(PinChromePlacement, PanelsStayEightPointsInsideTheVisibleFrame)
{
    // Right edge: the primary panel keeps off the edge of the screen.
    EXPECT_EQ(viewing(Rect(1300, 300, 140, 100)).primary.minX(), 1132);
    // A pin narrower than the panel at the left edge.
    EXPECT_EQ(viewing(Rect(0, 300, 200, 100)).primary.minX(), 8);
    // At the bottom the secondary panel cannot go below the pin.
    const Frames low = viewing(Rect(100, 25, 400, 300));
    EXPECT_EQ(low.secondary, Rect(100, 33, 260, 40));
    // A pin filling the screen: the primary panel inside the top, the
    // secondary kept on screen over the pin's bottom.
    const Frames full = viewing(visible);
    EXPECT_EQ(full.primary, Rect(1132, 850, 300, 44));
    EXPECT_EQ(full.secondary, Rect(8, 33, 260, 40));
}

TEST(PinChromePlacement, WithoutVisibleSecondaryRowsOnlyThePrimaryIsPlaced)
{
    EXPECT_FALSE(viewing(Rect(220, 212.5, 1000, 500), std::nullopt).secondary);
}

TEST(PinChromePlacement, EditingAsksTheEditorsRuleRelativeToTheVisibleFrame)
{
    const Rect offset(100, 25, 1440, 875);
    Rect askedRegion;
    Size askedViewport, askedSecondary;
    const PinChromePlacement::EditingRule rule
        = [&](const Rect& region, Size viewport, Size, Size second) {
              askedRegion = region;
              askedViewport = viewport;
              askedSecondary = second;
              return std::optional<Frames>(Frames{Rect(10, 20, 300, 44), Rect(18, 72, 260, 40)});
          };
    const Frames frames = PinChromePlacement::place(Rect(300, 225, 400, 300), offset, primary,
                                                    secondary, true, rule);
    EXPECT_EQ(askedRegion, Rect(200, 200, 400, 300));
    EXPECT_EQ(askedViewport, (Size{1440, 875}));
    EXPECT_EQ(askedSecondary, secondary);
    EXPECT_EQ(frames.primary, Rect(110, 45, 300, 44));
    EXPECT_EQ(frames.secondary, Rect(118, 97, 260, 40));

    // No secondary panel: the rule hears a zero size and nothing is placed.
    PinChromePlacement::place(Rect(300, 225, 400, 300), offset, primary, std::nullopt, true, rule);
    EXPECT_EQ(askedSecondary, (Size{0, 0}));

    // Viewing never asks.
    askedViewport = {};
    PinChromePlacement::place(Rect(300, 225, 400, 300), offset, primary, secondary, false, rule);
    EXPECT_EQ(askedViewport, (Size{0, 0}));
}

TEST(PinChromePlacement, EditingFallsBackToTheViewingPlacesWhenTheRuleHasNoAnswer)
{
    const auto none = [](const Rect&, Size, Size, Size) { return std::optional<Frames>(); };
    const Rect pin(220, 212.5, 1000, 500);
    EXPECT_EQ(PinChromePlacement::place(pin, visible, primary, secondary, true, none),
              viewing(pin));
    EXPECT_EQ(PinChromePlacement::place(pin, visible, primary, secondary, true, {}), viewing(pin));
}
