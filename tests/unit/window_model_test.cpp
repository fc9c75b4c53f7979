// The toolkit-free window model: the tick-box change rule, timers on virtual
// time, modal dialogs, and the store's value conversions.
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

TEST_F(ModelTest, TickBoxRunsItsHandlerExactlyWhenTheStateChanges) {
    Probe p(app.ui);
    int runs = 0;
    p.BOX.onChange = [&] { ++runs; };
    p.BOX.setState(0);
    EXPECT_EQ(runs, 0) << "same state: nothing runs";
    p.BOX.setEnabled(false);
    p.BOX.setState(1);
    EXPECT_EQ(runs, 1) << "set from code while disabled still runs";
    p.BOX.click();
    EXPECT_EQ(p.BOX.state(), 1) << "a disabled box ignores clicks";
    p.BOX.setEnabled(true);
    p.BOX.click();
    EXPECT_EQ(p.BOX.state(), 0);
    EXPECT_EQ(runs, 2);
    int pressed = 0;
    p.BUTTON.onPress = [&] { ++pressed; };
    p.BUTTON.setEnabled(false);
    p.BUTTON.press();
    p.setDefaultButton(&p.BUTTON);
    p.pressDefault();
    EXPECT_EQ(pressed, 0);
    p.BUTTON.setEnabled(true);
    p.pressDefault();
    p.pressCancel();  // no cancel button: nothing
    EXPECT_EQ(pressed, 1);
}

TEST_F(ModelTest, ObserversSeeEveryChangeOnce) {
    Probe p(app.ui);
    std::vector<std::string> seen;
    p.onControlChanged = [&](Control& c) { seen.push_back(c.name()); };
    p.BOX.setText("Box");  // unchanged
    p.BOX.setBackground(colours::Red);
    p.BOX.setBackground(colours::Red);
    p.BUTTON.setVisible(false);
    p.BOX.setTicked(true);
    EXPECT_EQ(seen, (std::vector<std::string>{"BOX", "BUTTON", "BOX"}));
    // The window's own notice: shown once per change, dismissed by an empty text.
    int windowChanges = 0;
    p.onWindowChanged = [&] { ++windowChanges; };
    for (const char* notice : {"cannot store K: disk full", "cannot store K: disk full", ""})
        p.setNotice(notice);
    EXPECT_EQ(windowChanges, 2);
    EXPECT_EQ(p.notice(), "");
}

TEST_F(ModelTest, TimersTickOneIntervalAfterStartAndOnlyWithAnInterval) {
    Probe p(app.ui);
    std::vector<long long> ticks;
    p.TIMER.onTick = [&] { ticks.push_back(app.sched.now()); };
    p.TIMER.start();
    app.sched.advance(5000);
    EXPECT_TRUE(ticks.empty()) << "no interval, no tick";
    p.TIMER.setInterval(1000);  // counts from here
    app.sched.advance(2500);
    EXPECT_EQ(ticks, (std::vector<long long>{6000, 7000}));
    p.TIMER.start();  // already running: keeps its rhythm
    app.sched.advance(600);
    EXPECT_EQ(ticks.back(), 8000);
    p.TIMER.onTick = [&] {
        ticks.push_back(app.sched.now());
        p.TIMER.stop();
    };
    app.sched.advance(5000);
    EXPECT_EQ(ticks.back(), 9000);
    EXPECT_EQ(ticks.size(), 4u);
    EXPECT_EQ(app.sched.pending(), 0u);
}

TEST_F(ModelTest, ClosingRunsTheClosingStepsOnceAndEndsTheTimers) {
    Probe p(app.ui);
    p.show();
    EXPECT_EQ(p.loads, 1);
    p.TIMER.setInterval(100);
    p.TIMER.start();
    p.close();
    p.close();
    EXPECT_EQ(p.unloads, 1);
    EXPECT_FALSE(p.TIMER.running());
    p.TIMER.start();
    EXPECT_FALSE(p.TIMER.running()) << "a closed window's timers stay stopped";
    EXPECT_EQ(app.sched.pending(), 0u);
}

TEST_F(ModelTest, ModalDialogReturnsAfterClosingWhileTheOwnersTimersTick) {
    Probe owner(app.ui);
    owner.show();
    int ownerTicks = 0;
    owner.TIMER.onTick = [&] { ++ownerTicks; };
    owner.TIMER.setInterval(250);
    owner.TIMER.start();
    Probe dialog(app.ui, &owner);
    app.host.scripts["PROBE"] = [&](Window& d) {
        EXPECT_EQ(owner.modalChild(), &d);
        EXPECT_EQ(&owner.activeWindow(), &d) << "a notice goes to the dialog in front";
        app.sched.advance(1000);
        d.close();
    };
    owner.showModal(dialog);
    EXPECT_EQ(ownerTicks, 4);
    EXPECT_EQ(owner.modalChild(), nullptr);
    EXPECT_EQ(&owner.activeWindow(), &owner);
    EXPECT_EQ(dialog.loads, 1);
    EXPECT_EQ(dialog.unloads, 1);
    EXPECT_EQ(dialog.owner(), &owner);
}

TEST(StoreConversions, NumbersAndTicksRoundTripAndJunkIsRejected) {
    EXPECT_EQ(FormatNumber(1000), "1000");
    EXPECT_EQ(FormatNumber(-1500), "-1500");
    EXPECT_EQ(FormatNumber(1234.5f), "1234.5");
    EXPECT_EQ(FormatNumber(-0.0f), "0");
    for (float v : {0.0f, 15.0f, -28800.0f, 10050.0f, 0.1f, 123456.7f}) {
        float back = -1;
        ASSERT_TRUE(ParseNumber(FormatNumber(v), back));
        EXPECT_EQ(back, v);
    }
    float f = 7;
    for (const char* junk : {"", " 1", "1 ", "12px", "nan", "inf", "1e999", "--1", "0x10"})
        EXPECT_FALSE(ParseNumber(junk, f)) << junk;
    EXPECT_EQ(f, 7);
    std::int16_t t = 3;
    EXPECT_TRUE(ParseTick("-1", t));
    EXPECT_EQ(t, -1);
    for (const char* junk : {"", "1.0", "40000", "true", " 1", "1\n"})
        EXPECT_FALSE(ParseTick(junk, t)) << junk;
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

TEST(StoreConversions, ReadsFallBackToDefaultsAndWriteFailuresAreReported) {
    MemorySettingsBackend backend;
    FixedExecutableName exe("A");
    SettingsStore store(backend, exe);
    EXPECT_EQ(store.ReadSetting("A", "K", "dflt"), "dflt");
    EXPECT_EQ(store.readTickIn(kSharedProfile, "TLS_NO_TICKBOX", 1), 1);
    backend.values[{"A", "N"}] = "twelve";
    EXPECT_EQ(store.readNumber("N", 1000), 1000);
    backend.values[{"A", "N"}] = "-15";
    EXPECT_EQ(store.readNumber("N", 1000), -15);
    std::string reported;
    store.onWriteError = [&](const std::string& m) { reported = m; };
    backend.failWrites = true;
    EXPECT_FALSE(store.WriteSetting("A", "K", "v"));
    EXPECT_EQ(reported, "cannot store K: store is read-only");
}

TEST(StoreConversions, ProfileNameIsTheBaseNameWithoutExtension) {
    EXPECT_EQ(BaseNameOfPath("D:\\Jobs\\NIGHTLY-REPORT.exe"), "NIGHTLY-REPORT");
    EXPECT_EQ(BaseNameOfPath("/opt/mail/NIGHTLY-REPORT"), "NIGHTLY-REPORT");
    EXPECT_EQ(BaseNameOfPath("/opt/mail/weekly.report.exe"), "weekly.report");
    EXPECT_EQ(BaseNameOfPath("/opt/.hidden"), ".hidden");
}

}  // namespace
}  // namespace fhsw
