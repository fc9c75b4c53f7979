// The Win32 renderer and scheduler against real windows (run under Wine in
// CI): model and controls kept in step both ways, keys, focus order, long
// texts shown whole, the notice, modal dialogs with the owner's timers
// ticking, tasks posted from other threads.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "forms/main_window.h"
#include "forms/settings_main_window.h"
#include "tests/support/test_app.h"
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

std::string Ascii(const wchar_t* p) {
    std::string out;
    for (; *p; ++p) out += static_cast<char>(*p);  // ASCII in these tests
    return out;
}

std::string TextOf(HWND hwnd) {
    std::wstring buffer(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    GetWindowTextW(hwnd, buffer.data(), static_cast<int>(buffer.size()));
    return Ascii(buffer.c_str());
}

// The text that the view's tooltip control shows for `control`.
std::string TipOf(const Win32WindowView& view, HWND control) {
    if (!view.tooltip()) return "";
    std::wstring buffer(4096, L'\0');
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = view.hwnd();
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = buffer.data();
    SendMessageW(view.tooltip(), TTM_GETTEXTW, buffer.size(), reinterpret_cast<LPARAM>(&tool));
    return Ascii(buffer.c_str());
}

// The size of the control's font (pixels) and the size its text needs in it,
// wrapped at word boundaries to the control's width, against its client area.
struct Drawn {
    LONG fontHeight;
    SIZE need, area;
};
Drawn DrawnText(HWND control) {
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    LOGFONTW lf{};
    GetObjectW(font, sizeof lf, &lf);
    RECT client{};
    GetClientRect(control, &client);
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, font);
    RECT need{0, 0, client.right, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &need,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return {std::abs(lf.lfHeight), {need.right, need.bottom}, {client.right, client.bottom}};
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
          NOTES_TEXTBOX(*this, "NOTES_TEXTBOX", "", {120, 2300, 3000, 600}),
          TICKER(*this, "TICKER") {
        SECRET_TEXTBOX.setPasswordChar("*");
        NOTES_TEXTBOX.setMultiLine(true);
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
    TextBox NOTES_TEXTBOX;
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

    // A multi-line field wraps its lines, but one too long to lay out wrapped
    // in good time gets a horizontal scroll bar instead; whole either way.
    for (const std::string& text : {std::string(200000, 'x'), std::string("short\r\nlines")}) {
        form.NOTES_TEXTBOX.setText(text);
        HWND notes = control(form, form.NOTES_TEXTBOX);
        EXPECT_EQ(GetWindowTextLengthW(notes), static_cast<int>(text.size()));
        EXPECT_EQ((GetWindowLongPtrW(notes, GWL_STYLE) & WS_HSCROLL) != 0, text.size() > 100);
    }

    // Geometry in twips: 15 to the pixel at 96 DPI (the frame's corner).
    form.setLeft(3000);
    RECT r{};
    GetWindowRect(host.hwndOf(form), &r);
    EXPECT_EQ(r.left, MulDiv(200, static_cast<int>(host.viewOf(form)->dpi()), 96));
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

// The status line and the SAVE report of the real windows never cut a text:
// a long one wraps, in a smaller face when needed, and is whole on screen,
// with the whole text as its tooltip; a short one keeps the model's face.
TEST_F(Win32ViewTest, LongLabelTextsAreShownWhole) {
    test::TestApp fakes;
    AppContext app{ui, fakes.store, fakes.launcher, fakes.processes, fakes.zorder, fakes.files};
    MainWindow main(app);
    SettingsMainWindow settings(app, main);
    Win32WindowView mainView(main, nullptr, false, images), settingsView(settings, nullptr, false, images);
    mainView.show();
    settingsView.show();
    struct Case {
        Win32WindowView& view;
        Label& label;
        std::string text;
        bool shrunk;
    };
    const std::string stopped =
        "!!! SEND FAILED: SendEmail.exe timed out after 600 s - the runner script and the mail "
        "client were stopped !!!";
    const std::string unwritable =
        "!!! NOT SAVED: C:\\nowhere\\SENDEMAIL-MESSAGE.txt: cannot create a file beside "
        "C:\\nowhere\\SENDEMAIL-MESSAGE.txt: The system cannot find the path specified. !!!";
    const Case cases[] = {
        {mainView, main.CURRENT_STATUS_LABEL, "READY...", false},
        {mainView, main.CURRENT_STATUS_LABEL, stopped, true},
        {settingsView, settings.SAVE_REPORT_LABEL, "Saved.", false},
        {settingsView, settings.SAVE_REPORT_LABEL, unwritable, true},
    };
    LONG modelFace = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        c.label.setText(c.text);
        HWND label = c.view.controlOf(c.label);
        const Drawn d = DrawnText(label);
        EXPECT_EQ(TextOf(label), c.text);
        EXPECT_LE(d.need.cx, d.area.cx);
        EXPECT_LE(d.need.cy, d.area.cy);
        if (!c.shrunk) modelFace = d.fontHeight;
        EXPECT_EQ(d.fontHeight < modelFace, c.shrunk);
        EXPECT_EQ(TipOf(c.view, label), c.shrunk ? c.text : "");
    }
    main.close();
}

// A notice shows over the other controls along the bottom, whole in its
// tooltip, laid out again for each size and DPI; a click dismisses it.
TEST_F(Win32ViewTest, NoticeStripShowsTheModelsNoticeOnTopAndAClickDismissesIt) {
    std::string longText;
    for (int i = 0; i < 20; ++i) longText += "!!! SETTING NOT STORED: the disk is full !!! ";
    enum class Dismiss { ClickMessage, RealClick, ByModel };
    struct Case {
        std::string text;
        bool capped;  // takes half the client area, over the buttons
        Dismiss dismiss;
    };
    const Case cases[] = {
        {"!!! SETTING NOT STORED: access denied !!!", false, Dismiss::ClickMessage},
        {longText, true, Dismiss::RealClick},
        {"first line\r\nsecond line", false, Dismiss::ByModel},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Form form(ui);
        form.show();
        HWND top = host.hwndOf(form);
        Win32WindowView* view = host.viewOf(form);
        form.setNotice(c.text);
        HWND strip = view->noticeStrip();
        ASSERT_NE(strip, nullptr);
        EXPECT_TRUE(IsWindowVisible(strip));
        EXPECT_EQ(TextOf(strip).rfind(c.text, 0), 0u);
        EXPECT_EQ(TipOf(*view, strip), c.text);

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
        // Above the other controls: what is found at its centre.
        RECT r = RectInParent(strip);
        POINT centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        EXPECT_EQ(ChildWindowFromPointEx(top, centre, CWP_SKIPINVISIBLE), strip);
        if (c.capped) {  // the long notice covers the Cancel button
            RECT cancel = RectInParent(control(form, form.CANCEL_BUTTON));
            EXPECT_TRUE(PtInRect(&cancel, centre));
        }
        checkPlace();
        form.setHeight(4500);
        checkPlace();
        const LONG heightAt96 = DrawnText(strip).fontHeight;
        RECT suggested{};
        GetWindowRect(top, &suggested);
        SendMessageW(top, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
        ASSERT_EQ(view->dpi(), 144u);
        checkPlace();
        EXPECT_GT(DrawnText(strip).fontHeight, heightAt96);

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
