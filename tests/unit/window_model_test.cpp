// The toolkit-free window model: the tick-box change rule, modal dialogs with the owner's timers ticking, the stored window place,
// and the store's value conversions. (Timer intervals are the main
// window's tests.)
#include <gtest/gtest.h>

#include "forms/window_geometry.h"
#include "store/settings_store.h"
#include "support/test_app.h"
#include "ui/window.h"

namespace fhsw {
namespace {

struct Probe : Window {
    explicit Probe(UiContext& ui, Window* owner = nullptr) : Window(ui, "PROBE", "Probe", owner) {}
    TickBox BOX{*this, "BOX", "Box", {0, 0, 100, 100}};
    Button BUTTON{*this, "BUTTON", "Go", {0, 0, 100, 100}};
    Timer TIMER{*this, "TIMER"};
    int loads = 0, unloads = 0;
    void load() override { ++loads; }
    void unload() override { ++unloads; }
};

struct ModelTest : ::testing::Test {
    test::TestApp app;
};

TEST_F(ModelTest, TickBoxRunsItsHandlerExactlyWhenTheStateChangesAndUsersReachOnlyEnabledControls) {
    Probe p(app.ui);
    int runs = 0, pressed = 0;
    p.BOX.onChange = [&] { ++runs; };
    p.BUTTON.onPress = [&] { ++pressed; };
    p.setDefaultButton(&p.BUTTON);
    for (bool enabled : {false, true}) {
        p.BOX.setEnabled(enabled);
        p.BUTTON.setEnabled(enabled);
        p.BOX.setState(p.BOX.state());  // the same state: nothing runs
        p.BOX.click();
        p.pressDefault();
        p.pressCancel();  // no cancel button: nothing
    }
    EXPECT_EQ(runs + pressed, 2);  // the enabled click and press only
    p.BOX.setEnabled(false);
    p.BOX.setState(0);  // set from code while disabled still runs
    EXPECT_EQ(runs, 2);
}

TEST_F(ModelTest, ModalDialogReturnsAfterClosingWhileTheOwnersTimersTickAndClosingEndsAll) {
    Probe owner(app.ui);
    owner.show();
    int ownerTicks = 0;
    owner.TIMER.onTick = [&] { ++ownerTicks; };
    owner.TIMER.setInterval(250);
    owner.TIMER.start();
    Probe dialog(app.ui, &owner), second(app.ui, &owner);
    app.host.scripts["PROBE"] = [&](Window& d) {
        EXPECT_EQ(&owner.activeWindow(), &d) << "a notice goes to the dialog in front";
        app.sched.advance(1000);
        d.close();
    };
    owner.showModal(dialog);
    EXPECT_EQ(ownerTicks, 4);
    EXPECT_EQ(dialog.loads + dialog.unloads, 2);

    // The owner closed under its dialog (auto-close) takes the dialog along;
    // the closing steps run once and the timers end for good.
    app.host.scripts["PROBE"] = [&](Window& d) {
        owner.close();
        owner.close();
        EXPECT_TRUE(d.isClosed());
    };
    owner.showModal(second);
    EXPECT_EQ(owner.unloads + second.unloads, 2);
    owner.TIMER.start();
    EXPECT_FALSE(owner.TIMER.running()) << "a closed window's timers stay stopped";
    EXPECT_EQ(app.sched.pending(), 0u);
}

// Stored numbers and ticks; one that does not convert gives way to a default.
TEST(StoreConversions, NumbersAndTicksRoundTripAndJunkIsRejected) {
    for (auto [v, text] : {std::pair{1000.0f, "1000"}, {-1500.0f, "-1500"}, {1234.5f, "1234.5"}, {-0.0f, "0"}})
        EXPECT_EQ(FormatNumber(v), text);
    float f = 7;
    std::int16_t t = 3;
    for (const char* junk : {"", " 1", "1 ", "12px", "nan", "inf", "0x10", "1.5\n"})
        EXPECT_FALSE(ParseNumber(junk, f) || ParseTick(junk, t)) << junk;
    EXPECT_TRUE(ParseNumber("0.1", f) && f == 0.1f && ParseTick("-1", t) && t == -1);
}

// A stored place from which the window's title bar could not be reached
// opens the window at the default place; one on a screen that is there,
// negative or not, is kept. Screens: a 1920 x 1040 pixel primary and, where
// present, one of the same size to its left.
TEST_F(ModelTest, StoredPlaceOffEveryScreenOpensAtTheDefaultPlace) {
    const TwipsRect primary{0, 0, 28800, 15600}, leftOfIt{-28800, 0, 28800, 15600};
    struct Case {
        const char* what;
        std::vector<TwipsRect> screens;
        std::string left, top;  // stored; "" for none
        float wantLeft, wantTop;
    };
    const Case cases[] = {
        {"nothing stored", {primary}, "", "", 1000, 1000},
        {"1e30", {primary}, "1e30", "2000", 1000, 1000},
        {"-1e9", {primary}, "-1000000000", "2000", 1000, 1000},
        {"on a left monitor since removed", {primary}, "-20000", "3000", 1000, 1000},
        {"on a left monitor that is there", {primary, leftOfIt}, "-20000", "3000", -20000, 3000},
        {"hanging off the right, caption buttons only", {primary}, "28200", "3000", 1000, 1000},
        {"half off the right", {primary}, "23800", "3000", 23800, 3000},
        {"title bar above the top", {primary}, "3000", "-600", 1000, 1000},
        {"screens not known", {}, "1e30", "-1e30", 1e30f, -1e30f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TestApp t;
        t.host.screenAreas = c.screens;
        if (!c.left.empty()) t.put({{"MAIN-Left", c.left}, {"MAIN-Top", c.top}});
        Probe w(t.ui);
        LoadWindowGeometry(w, t.store, "MAIN", 10050, 3285);
        EXPECT_EQ(w.left(), c.wantLeft);
        EXPECT_EQ(w.top(), c.wantTop);
        StoreWindowPosition(w, t.store, "MAIN");  // closing keeps the place it opened at
        EXPECT_EQ(t.get("MAIN-Left"), FormatNumber(c.wantLeft));
    }
}

}  // namespace
}  // namespace fhsw
