// The Win32 renderer and scheduler against real windows (run under Wine in
// CI): model and controls kept in step both ways, keys, focus order, modal
// dialogs with the owner's timers ticking, tasks posted from other threads.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "ui/window.h"
#include "view/win32/win32_images.h"
#include "view/win32/win32_scheduler.h"
#include "view/win32/win32_window_host.h"
#include "view/win32/win32_window_view.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace fhsw {
namespace {

// Runs the thread's messages through the host until `done` or 5 s passed.
bool PumpUntil(Win32WindowHost& host, const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    MSG msg;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            host.dispatch(msg);
        else
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

std::string TextOf(HWND hwnd) {
    std::wstring buffer(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    GetWindowTextW(hwnd, buffer.data(), static_cast<int>(buffer.size()));
    std::string out;
    for (const wchar_t* p = buffer.c_str(); *p; ++p) out += static_cast<char>(*p);  // ASCII in these tests
    return out;
}

// A child's rectangle in its parent's client coordinates.
RECT RectInParent(HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// A real left click at the centre of `target`, through the system's input.
void ClickAt(HWND target) {
    RECT r{};
    GetWindowRect(target, &r);
    SetForegroundWindow(GetAncestor(target, GA_ROOT));
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, input, sizeof(INPUT));
}

class Form : public Window {
public:
    Form(UiContext& ui, Window* owner = nullptr)
        : Window(ui, "FORM", "FORM", owner),
          NAME_TEXTBOX(*this, "NAME_TEXTBOX", "", {120, 120, 3000, 315}),
          TITLE_LABEL(*this, "TITLE_LABEL", "TITLE", {120, 600, 3000, 315}),
          SECRET_TEXTBOX(*this, "SECRET_TEXTBOX", "", {120, 1000, 3000, 315}),
          ONLY_ON_TICKBOX(*this, "ONLY_ON_TICKBOX", "Only on", {120, 1400, 3000, 255}),
          OK_BUTTON(*this, "OK_BUTTON", "OK", {120, 1800, 1200, 375}),
          CANCEL_BUTTON(*this, "CANCEL_BUTTON", "Cancel", {1500, 1800, 1200, 375}),
          TICKER(*this, "TICKER") {
        SECRET_TEXTBOX.setPasswordChar("*");
        // A rule that refuses to untick: the model, not the control, owns the state.
        ONLY_ON_TICKBOX.onChange = [this] { ONLY_ON_TICKBOX.setTicked(true); };
        OK_BUTTON.onPress = [this] { ++okPresses; };
        CANCEL_BUTTON.onPress = [this] { ++cancelPresses; };
        setDefaultButton(&OK_BUTTON);
        setCancelButton(&CANCEL_BUTTON);
        setLeft(1500);
        setTop(1200);
        setWidth(4000);
        setHeight(3300);
    }
    TextBox NAME_TEXTBOX;
    Label TITLE_LABEL;
    TextBox SECRET_TEXTBOX;
    TickBox ONLY_ON_TICKBOX;
    Button OK_BUTTON;
    Button CANCEL_BUTTON;
    Timer TICKER;
    int okPresses = 0, cancelPresses = 0;
};

class Win32ViewTest : public ::testing::Test {
protected:
    Win32Images images;
    Win32Scheduler scheduler;
    Win32WindowHost host{images};
    UiContext ui{scheduler, host};

    void SetUp() override { host.onLastWindowClosed = nullptr; }
    HWND control(const Window& w, const Control& c) { return host.viewOf(w)->controlOf(c); }
};

TEST(Win32Units, TwipsAndPixels) {
    struct Case { double twips; UINT dpi; int pixels; };
    for (const Case& c : {Case{1440, 96, 96}, Case{1440, 144, 144}, Case{15, 96, 1},
                          Case{22, 96, 1}, Case{23, 96, 2}, Case{-15, 96, -1}, Case{1500, 120, 125}}) {
        EXPECT_EQ(TwipsToPixels(c.twips, c.dpi), c.pixels) << c.twips << " twips at " << c.dpi;
    }
    EXPECT_DOUBLE_EQ(PixelsToTwips(100, 96), 1500);
    EXPECT_DOUBLE_EQ(PixelsToTwips(125, 120), 1500);
}

TEST_F(Win32ViewTest, SchedulerRunsDueTasksInOrderAndForgetsCancelled) {
    std::vector<int> ran;
    scheduler.callAfter(30, [&] { ran.push_back(1); });
    const auto dropped = scheduler.callAfter(30, [&] { ran.push_back(2); });
    scheduler.callAfter(30, [&] {
        ran.push_back(3);
        scheduler.callAfter(0, [&] { ran.push_back(4); });
    });
    scheduler.callAfter(10, [&] { ran.push_back(0); });
    scheduler.cancel(dropped);
    scheduler.cancel(9999);  // unknown: ignored
    ASSERT_TRUE(PumpUntil(host, [&] { return ran.size() == 4; }));
    EXPECT_EQ(ran, (std::vector<int>{0, 1, 3, 4}));
    EXPECT_EQ(scheduler.pending(), 0u);
}

TEST_F(Win32ViewTest, PostedTasksRunOnTheUiThread) {
    const DWORD ui = GetCurrentThreadId();
    struct Shared {
        Win32Scheduler* scheduler;
        DWORD ui;
        std::atomic<int> ranOnUi{0}, ranElsewhere{0};
    } shared{&scheduler, ui};
    // A plain Win32 thread, as a platform service would start.
    HANDLE worker = CreateThread(
        nullptr, 0,
        [](void* arg) -> DWORD {
            auto* s = static_cast<Shared*>(arg);
            for (int i = 0; i < 50; ++i)
                s->scheduler->post([s] {
                    (GetCurrentThreadId() == s->ui ? s->ranOnUi : s->ranElsewhere)++;
                });
            return 0;
        },
        &shared, 0, nullptr);
    ASSERT_NE(worker, nullptr);
    WaitForSingleObject(worker, INFINITE);
    CloseHandle(worker);
    std::atomic<int>& ranOnUi = shared.ranOnUi;
    std::atomic<int>& ranElsewhere = shared.ranElsewhere;
    ASSERT_TRUE(PumpUntil(host, [&] { return ranOnUi + ranElsewhere == 50; }));
    EXPECT_EQ(ranOnUi, 50);
}

TEST_F(Win32ViewTest, ControlsFollowTheModelAndInputGoesToIt) {
    Form form(ui);
    form.show();
    HWND name = control(form, form.NAME_TEXTBOX);
    HWND tick = control(form, form.ONLY_ON_TICKBOX);
    ASSERT_TRUE(name && tick);

    form.NAME_TEXTBOX.setText("from the model");
    EXPECT_EQ(TextOf(name), "from the model");
    SetWindowTextW(name, L"typed");  // what typing does: EN_CHANGE
    EXPECT_EQ(form.NAME_TEXTBOX.text(), "typed");
    form.TITLE_LABEL.setText("NEW TITLE");
    EXPECT_EQ(TextOf(control(form, form.TITLE_LABEL)), "NEW TITLE");
    EXPECT_EQ(SendMessageW(control(form, form.SECRET_TEXTBOX), EM_GETPASSWORDCHAR, 0, 0), L'*');

    // Clicks ask the model: ticking sticks, unticking is refused by its rule.
    SendMessageW(tick, BM_CLICK, 0, 0);
    EXPECT_TRUE(form.ONLY_ON_TICKBOX.ticked());
    EXPECT_EQ(SendMessageW(tick, BM_GETCHECK, 0, 0), BST_CHECKED);
    SendMessageW(tick, BM_CLICK, 0, 0);
    EXPECT_TRUE(form.ONLY_ON_TICKBOX.ticked());
    EXPECT_EQ(SendMessageW(tick, BM_GETCHECK, 0, 0), BST_CHECKED);
    form.ONLY_ON_TICKBOX.setEnabled(false);
    EXPECT_FALSE(IsWindowEnabled(tick));
    form.NAME_TEXTBOX.setVisible(false);
    EXPECT_FALSE(IsWindowVisible(name));

    // Geometry in twips: 15 to the pixel at 96 DPI (the frame's corner).
    const UINT dpi = host.viewOf(form)->dpi();
    form.setLeft(3000);
    RECT r{};
    GetWindowRect(host.hwndOf(form), &r);
    EXPECT_EQ(r.left, TwipsToPixels(3000, dpi));
    form.close();
    EXPECT_EQ(host.hwndOf(form), nullptr);
}

TEST_F(Win32ViewTest, EnterEscAndTabFollowTheModel) {
    Form form(ui);
    form.show();
    Win32WindowView* view = host.viewOf(form);
    HWND name = control(form, form.NAME_TEXTBOX);
    HWND cancel = control(form, form.CANCEL_BUTTON);
    auto key = [&](HWND target, WPARAM vk) {
        MSG msg{target, WM_KEYDOWN, vk, 0, 0, {}};
        return view->preTranslate(msg);
    };
    EXPECT_TRUE(key(name, VK_RETURN));
    EXPECT_EQ(form.okPresses, 1);
    EXPECT_TRUE(key(name, VK_ESCAPE));
    EXPECT_EQ(form.cancelPresses, 1);
    EXPECT_TRUE(key(cancel, VK_RETURN));  // a focused button is the one Enter presses
    EXPECT_EQ(form.cancelPresses, 2);
    EXPECT_EQ(form.okPresses, 1);

    // Tab goes through the tab stops in the order of the model's controls.
    std::vector<HWND> order;
    HWND at = name;
    for (int i = 0; i < 5; ++i) {
        order.push_back(at);
        at = GetNextDlgTabItem(host.hwndOf(form), at, FALSE);
    }
    EXPECT_EQ(order, (std::vector<HWND>{name, control(form, form.SECRET_TEXTBOX),
                                        control(form, form.ONLY_ON_TICKBOX),
                                        control(form, form.OK_BUTTON), cancel}));
    form.close();
}

TEST_F(Win32ViewTest, NoticeStripShowsTheModelsNoticeOnTopAndAClickDismissesIt) {
    std::string longText;
    for (int i = 0; i < 20; ++i) longText += "!!! SETTING NOT STORED: the disk is full !!! ";
    enum class Dismiss { ClickMessage, RealClick, ByModel };
    struct Case {
        const char* name;
        std::string text;
        bool capped;  // takes half the client area, over the buttons
        Dismiss dismiss;
    };
    const Case cases[] = {
        {"short, clicked", "!!! SETTING NOT STORED: access denied !!!", false, Dismiss::ClickMessage},
        {"long, clicked for real", longText, true, Dismiss::RealClick},
        {"two lines, replaced by none", "first line\r\nsecond line", false, Dismiss::ByModel},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Form form(ui);
        form.show();
        HWND top = host.hwndOf(form);
        Win32WindowView* view = host.viewOf(form);
        form.setNotice(c.text);
        HWND strip = view->noticeStrip();
        ASSERT_NE(strip, nullptr);
        EXPECT_TRUE(IsWindowVisible(strip));
        std::string shown = c.text + "  (click to dismiss)";
        EXPECT_EQ(TextOf(strip), shown);
        // The full text as a tooltip (the strip may be too small for it).
        auto tipText = [&] {
            std::wstring buffer(4096, L'\0');
            TOOLINFOW tool{};
            tool.cbSize = TTTOOLINFOW_V2_SIZE;
            tool.hwnd = top;
            tool.uId = reinterpret_cast<UINT_PTR>(strip);
            tool.lpszText = buffer.data();
            SendMessageW(view->noticeTooltip(), TTM_GETTEXTW, buffer.size(),
                         reinterpret_cast<LPARAM>(&tool));
            std::string out;
            for (const wchar_t* p = buffer.c_str(); *p; ++p) out += static_cast<char>(*p);
            return out;
        };
        ASSERT_NE(view->noticeTooltip(), nullptr);
        EXPECT_EQ(tipText(), c.text);

        // Along the bottom, full width, no taller than half the client area.
        auto checkPlace = [&] {
            RECT client{}, r = RectInParent(strip);
            GetClientRect(top, &client);
            EXPECT_EQ(r.left, 0);
            EXPECT_EQ(r.right, client.right);
            EXPECT_EQ(r.bottom, client.bottom);
            EXPECT_GT(r.bottom - r.top, 10);
            if (c.capped)
                EXPECT_EQ(r.bottom - r.top, client.bottom / 2);
            else
                EXPECT_LT(r.bottom - r.top, client.bottom / 2);
        };
        // Above the other controls: the first child, and what is found at its centre.
        EXPECT_EQ(GetWindow(top, GW_CHILD), strip);
        RECT r = RectInParent(strip);
        POINT centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        EXPECT_EQ(ChildWindowFromPointEx(top, centre, CWP_SKIPINVISIBLE), strip);
        if (c.capped) {  // the long notice covers the Cancel button
            RECT cancel = RectInParent(control(form, form.CANCEL_BUTTON));
            EXPECT_TRUE(PtInRect(&cancel, centre));
        }
        checkPlace();
        form.setHeight(4500);  // laid out again for each new size
        checkPlace();
        form.setHeight(3300);
        checkPlace();
        auto fontHeight = [&] {
            LOGFONTW lf{};
            GetObjectW(reinterpret_cast<HFONT>(SendMessageW(strip, WM_GETFONT, 0, 0)), sizeof lf,
                       &lf);
            return std::abs(lf.lfHeight);
        };
        const LONG heightAt96 = fontHeight();
        RECT suggested{};
        GetWindowRect(top, &suggested);
        SendMessageW(top, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
        ASSERT_EQ(view->dpi(), 144u);
        checkPlace();
        EXPECT_GT(fontHeight(), heightAt96);

        // Bold, black on light yellow.
        LOGFONTW lf{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(strip, WM_GETFONT, 0, 0)), sizeof lf, &lf);
        EXPECT_GE(lf.lfWeight, FW_BOLD);
        HDC dc = GetDC(strip);
        EXPECT_NE(SendMessageW(top, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                               reinterpret_cast<LPARAM>(strip)),
                  0);
        EXPECT_EQ(GetBkColor(dc), RGB(255, 255, 192));
        EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 0));
        ReleaseDC(strip, dc);

        switch (c.dismiss) {
        case Dismiss::ClickMessage:
            SendMessageW(top, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(strip), STN_CLICKED),
                         reinterpret_cast<LPARAM>(strip));
            break;
        case Dismiss::RealClick:
            ClickAt(strip);
            EXPECT_TRUE(PumpUntil(host, [&] { return form.notice().empty(); }));
            EXPECT_EQ(form.cancelPresses, 0);  // the click did not reach the button below
            break;
        case Dismiss::ByModel:
            form.setNotice("");
            break;
        }
        EXPECT_EQ(form.notice(), "");
        EXPECT_FALSE(IsWindowVisible(strip));
        form.close();
    }
}

TEST_F(Win32ViewTest, ModalDialogDisablesItsOwnerWhoseTimersKeepTicking) {
    Form owner(ui);
    owner.show();
    int ticks = 0;
    owner.TICKER.onTick = [&] { ++ticks; };
    owner.TICKER.setInterval(20);
    owner.TICKER.start();

    Form dialog(ui, &owner);
    bool ownerDisabledMeanwhile = false;
    int ticksMeanwhile = 0;
    scheduler.callAfter(300, [&] {
        ownerDisabledMeanwhile = !IsWindowEnabled(host.hwndOf(owner));
        ticksMeanwhile = ticks;
        dialog.close();
    });
    owner.showModal(dialog);  // returns only once the dialog has closed
    EXPECT_TRUE(dialog.isClosed());
    EXPECT_TRUE(ownerDisabledMeanwhile);
    EXPECT_GE(ticksMeanwhile, 3);
    EXPECT_TRUE(IsWindowEnabled(host.hwndOf(owner)));
    owner.close();
}

TEST_F(Win32ViewTest, ClosingTheOwnerClosesItsDialog) {
    Form owner(ui);
    owner.show();
    Form dialog(ui, &owner);
    scheduler.callAfter(50, [&] { owner.close(); });
    owner.showModal(dialog);
    EXPECT_TRUE(dialog.isClosed());
    EXPECT_TRUE(owner.isClosed());
}

}  // namespace
}  // namespace fhsw
