#include "pin/PinChromeState.h"

#include "tests/pin/FakeDelayScheduler.h"

#include <gtest/gtest.h>

using namespace kelpie;
using namespace std::chrono_literals;

namespace {

// The chrome's decisions against a fake clock, with the panels reduced to
// two flags.
class PinChromeStateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        state.windows = [this] { return windows; };
        state.onShow = [this](bool withSecondary) {
            primaryShown = true;
            secondaryShown = withSecondary;
            ++shows;
        };
        state.onHide = [this] {
            primaryShown = false;
            secondaryShown = false;
            ++hides;
        };
        windows = {true, true, false};
    }

    test::FakeDelayScheduler clock;
    PinChromeState state{clock};
    PinChromeState::Windows windows;
    bool primaryShown = false;
    bool secondaryShown = false;
    int shows = 0;
    int hides = 0;
};

} // namespace

TEST_F(PinChromeStateTest, ShowsWhileThePinOrAPanelIsKeyOrHovered)
{
    state.setHasSecondary(true);
    state.refreshVisibility();
    EXPECT_FALSE(primaryShown);

    windows.anyKey = true;
    state.refreshVisibility();
    EXPECT_TRUE(primaryShown);
    EXPECT_TRUE(secondaryShown);

    // Without a visible row the secondary panel is ordered out.
    state.setHasSecondary(false);
    state.refreshVisibility();
    EXPECT_TRUE(primaryShown);
    EXPECT_FALSE(secondaryShown);

    windows.anyKey = false;
    state.hover(PinChromeState::pinSurface, true);
    EXPECT_TRUE(state.shouldShow());
    EXPECT_FALSE(state.hidePending());
}

TEST_F(PinChromeStateTest, HidesOnlyAfterTheGrace)
{
    state.hover(PinChromeState::pinSurface, true);
    ASSERT_TRUE(primaryShown);
    state.hover(PinChromeState::pinSurface, false);
    EXPECT_TRUE(primaryShown) << "the panels stay while the hide waits";
    EXPECT_TRUE(state.hidePending());
    clock.advance(179ms);
    EXPECT_TRUE(primaryShown);
    clock.advance(1ms);
    EXPECT_FALSE(primaryShown);
    EXPECT_EQ(hides, 1);
    EXPECT_FALSE(state.hidePending());
}

TEST_F(PinChromeStateTest, PointerCrossingFromThePinOntoThePrimaryPanelKeepsTheChrome)
{
    state.hover(PinChromeState::pinSurface, true);
    state.hover(PinChromeState::pinSurface, false);
    clock.advance(100ms);
    state.hover(PinChromeState::primarySurface, true);
    EXPECT_FALSE(state.hidePending()) << "entering the panel cancels the hide";
    clock.advance(1000ms);
    EXPECT_TRUE(primaryShown);
    EXPECT_EQ(hides, 0);

    // A hide scheduled earlier and not cancelled would still run: leaving
    // the panel and coming back restarts the grace each time.
    state.hover(PinChromeState::primarySurface, false);
    clock.advance(150ms);
    state.hover(PinChromeState::secondarySurface, true);
    state.hover(PinChromeState::secondarySurface, false);
    clock.advance(150ms);
    EXPECT_TRUE(primaryShown);
    clock.advance(30ms);
    EXPECT_FALSE(primaryShown);
    EXPECT_EQ(clock.pending(), 0u);
}

TEST_F(PinChromeStateTest, AHideThatFallsDueWhileTheChromeShouldShowDoesNothing)
{
    // The key arrives without a refresh (the hide checks again when it runs).
    state.refreshVisibility();
    windows.anyKey = true;
    clock.advance(180ms);
    EXPECT_EQ(hides, 0);
}

TEST_F(PinChromeStateTest, HiddenOrGonePinShowsNothing)
{
    state.hover(PinChromeState::primarySurface, true);
    windows.anyKey = true;
    windows.parentVisible = false;
    EXPECT_FALSE(state.shouldShow());
    windows = {false, true, true};
    EXPECT_FALSE(state.shouldShow());
}

TEST_F(PinChromeStateTest, AnAuxiliaryControlInUseKeepsTheChrome)
{
    bool colourDialogOpen = true;
    state.isAuxiliaryActive = [&] { return colourDialogOpen; };
    state.refreshVisibility();
    EXPECT_TRUE(primaryShown);
    colourDialogOpen = false;
    state.refreshVisibility();
    clock.advance(180ms);
    EXPECT_FALSE(primaryShown);
}

TEST_F(PinChromeStateTest, NothingShowsAfterClose)
{
    state.hover(PinChromeState::pinSurface, true);
    state.hover(PinChromeState::pinSurface, false);
    ASSERT_TRUE(state.hidePending());
    state.close();
    EXPECT_EQ(clock.pending(), 0u) << "close cancels the pending hide";
    const int showsBefore = shows;
    windows.anyKey = true;
    state.refreshVisibility();
    state.hover(PinChromeState::primarySurface, true);
    EXPECT_FALSE(state.shouldShow());
    EXPECT_EQ(shows, showsBefore);
    EXPECT_EQ(clock.pending(), 0u);
}

TEST(PinChromeStateLifetime, GoingAwayCancelsThePendingHide)
{
    test::FakeDelayScheduler clock;
    int hides = 0;
    {
        PinChromeState state(clock);
        state.windows = [] { return PinChromeState::Windows{true, true, false}; };
        state.onHide = [&] { ++hides; };
        state.refreshVisibility();
        ASSERT_EQ(clock.pending(), 1u);
    }
    EXPECT_EQ(clock.pending(), 0u);
    clock.advance(1000ms);
    EXPECT_EQ(hides, 0);
}
