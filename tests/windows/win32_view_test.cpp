// The Win32 renderer against real windows (run under Wine in CI): user input
// handed to the model, keys, focus order, long texts shown whole, the notice,
// modal dialogs with the owner's timers ticking.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "forms/main_window.h"
#include "platform/windows/win32_text.h"
#include "tests/support/test_app.h"
#include "view/win32/win32_images.h"
#include "view/win32/win32_scheduler.h"
#include "view/win32/win32_window_host.h"
#include "view/win32/win32_window_view.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace fhsw {
namespace {

std::wstring TextOf(HWND hwnd) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

// The text that the view's tooltip control shows for `control`.
std::wstring TipOf(const Win32WindowView& view, HWND control) {
    std::wstring buffer(4096, L'\0');
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = view.hwnd();
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = buffer.data();
    SendMessageW(view.tooltip(), TTM_GETTEXTW, buffer.size(), reinterpret_cast<LPARAM>(&tool));
    return buffer.c_str();
}

// The height of the control's face (pixels) and whether its whole text,
// wrapped at word boundaries, fits its client area.
std::pair<LONG, bool> Drawn(HWND control) {
    LOGFONTW lf{};
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    GetObjectW(font, sizeof lf, &lf);
    RECT client{}, need{};
    GetClientRect(control, &client);
    need.right = client.right;
    HDC dc = GetDC(control);
    SelectObject(dc, font);
    DrawTextW(dc, TextOf(control).c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    ReleaseDC(control, dc);
    return {std::abs(lf.lfHeight), need.right <= client.right && need.bottom <= client.bottom};
}

class Form : public Window {
public:
    Form(UiContext& ui, Window* owner = nullptr) : Window(ui, "FORM", "FORM", owner) {
        SECRET_TEXTBOX.setPasswordChar("*");
        NOTES_TEXTBOX.setMultiLine(true);
        // A rule that refuses to untick: the model, not the control, owns the state.
        ONLY_ON_TICKBOX.onChange = [this] { ONLY_ON_TICKBOX.setTicked(true); };
        OK_BUTTON.onPress = [this] { ++okPresses; };
        CANCEL_BUTTON.onPress = [this] { ++cancelPresses; };
        setDefaultButton(&OK_BUTTON);
        setCancelButton(&CANCEL_BUTTON);
        setWidth(4000);
        setHeight(3300);
    }
    TextBox NAME_TEXTBOX{*this, "NAME_TEXTBOX", "", {120, 120, 3000, 315}};
    TextBox SECRET_TEXTBOX{*this, "SECRET_TEXTBOX", "", {120, 480, 3000, 315}};
    TickBox ONLY_ON_TICKBOX{*this, "ONLY_ON_TICKBOX", "Only on", {120, 840, 3000, 255}};
    Button OK_BUTTON{*this, "OK_BUTTON", "OK", {120, 1200, 1200, 375}};
    Button CANCEL_BUTTON{*this, "CANCEL_BUTTON", "Cancel", {1500, 1200, 1200, 375}};
    TextBox NOTES_TEXTBOX{*this, "NOTES_TEXTBOX", "", {0, 1800, 3900, 2400}};  // down to the bottom
    Timer TICKER{*this, "TICKER"};
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

TEST_F(Win32ViewTest, ControlsFollowTheModelAndInputGoesToIt) {
    Form form(ui);
    form.show();
    HWND name = control(form, form.NAME_TEXTBOX), tick = control(form, form.ONLY_ON_TICKBOX);
    HWND cancel = control(form, form.CANCEL_BUTTON);
    EXPECT_EQ(GetFocus(), name);  // the first control that takes it
    form.NAME_TEXTBOX.setText("from the model");
    EXPECT_EQ(TextOf(name), L"from the model");
    SetWindowTextW(name, L"typed");  // what typing does: EN_CHANGE
    EXPECT_EQ(form.NAME_TEXTBOX.text(), "typed");
    EXPECT_EQ(SendMessageW(control(form, form.SECRET_TEXTBOX), EM_GETPASSWORDCHAR, 0, 0), L'*');
    // Clicks ask the model: ticking sticks, unticking is refused by its rule.
    for (int click = 0; click < 2; ++click) {
        SendMessageW(tick, BM_CLICK, 0, 0);
        EXPECT_EQ(SendMessageW(tick, BM_GETCHECK, 0, 0), BST_CHECKED) << click;
    }
    // Enter presses the focused button, else the default one; Esc the cancel button.
    for (auto [target, vk] : {std::pair{name, VK_RETURN}, {name, VK_ESCAPE}, {cancel, VK_RETURN}}) {
        MSG msg{target, WM_KEYDOWN, static_cast<WPARAM>(vk), 0, 0, {}};
        EXPECT_TRUE(host.viewOf(form)->preTranslate(msg));
    }
    EXPECT_EQ(form.okPresses, 1);
    EXPECT_EQ(form.cancelPresses, 2);

    // A multi-line field wraps its lines, but one too long to lay out wrapped
    // in good time gets a horizontal scroll bar instead; whole either way.
    for (const std::string& text : {std::string(200000, 'x'), std::string("short\r\nlines")}) {
        form.NOTES_TEXTBOX.setText(text);
        HWND notes = control(form, form.NOTES_TEXTBOX);
        EXPECT_EQ(GetWindowTextLengthW(notes), static_cast<int>(text.size()));
        EXPECT_EQ((GetWindowLongPtrW(notes, GWL_STYLE) & WS_HSCROLL) != 0, text.size() > 100);
    }
    form.close();
}

// The status line never cuts a text: a long one wraps, in a smaller face when
// needed, and is whole on screen, with the whole text as its tooltip; a short
// one keeps the model's face.
TEST_F(Win32ViewTest, LongLabelTextsAreShownWhole) {
    test::TestApp fakes;
    AppContext app{ui, fakes.store, fakes.launcher, fakes.processes, fakes.zorder, fakes.files};
    MainWindow main(app);
    Win32WindowView view(main, nullptr, false, images);
    HWND label = view.controlOf(main.CURRENT_STATUS_LABEL);
    const LONG modelFace = Drawn(label).first;
    for (const std::string text : {"!!! SEND FAILED: SendEmail.exe timed out after 600 s - the runner script and "
                                   "the mail client were stopped !!!",
                                   "READY..."}) {
        SCOPED_TRACE(text);
        const bool shrunk = text.size() > 10;
        main.CURRENT_STATUS_LABEL.setText(text);
        const auto [face, whole] = Drawn(label);
        EXPECT_EQ(TextOf(label), Widen(text));
        EXPECT_TRUE(whole);
        EXPECT_EQ(face < modelFace, shrunk);
        EXPECT_EQ(TipOf(view, label), shrunk ? Widen(text) : L"");
    }
    main.close();
}

// A notice shows over the other controls along the bottom, whole in its
// tooltip, laid out again for each size and DPI; a real click dismisses it
// and reaches nothing below.
TEST_F(Win32ViewTest, NoticeStripShowsTheModelsNoticeOnTopAndAClickDismissesIt) {
    std::string longText;
    for (int i = 0; i < 20; ++i) longText += "!!! SETTING NOT STORED: the disk is full !!! ";
    for (const std::string& text : {std::string("!!! SETTING NOT STORED: access denied !!!"), longText}) {
        SCOPED_TRACE(text);
        Form form(ui);
        form.show();
        HWND top = host.hwndOf(form), strip = host.viewOf(form)->noticeStrip();
        form.setNotice(text);
        EXPECT_EQ(TextOf(strip).rfind(Widen(text), 0), 0u);
        EXPECT_EQ(TipOf(*host.viewOf(form), strip), Widen(text));
        // Along the bottom, full width, no taller than half the client area.
        RECT r{};
        auto checkPlace = [&] {
            RECT client{};
            GetClientRect(top, &client);
            GetWindowRect(strip, &r);
            MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&r), 2);
            const int h = r.bottom - r.top, half = client.bottom / 2;
            EXPECT_TRUE(r.left == 0 && r.right == client.right && r.bottom == client.bottom) << r.left << " " << r.right;
            EXPECT_TRUE(h > 10 && (text.size() > 100 ? h == half : h < half)) << h << " of " << client.bottom;
        };
        checkPlace();
        const LONG faceAt96 = Drawn(strip).first;
        RECT suggested{};
        GetWindowRect(top, &suggested);
        SendMessageW(top, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
        checkPlace();
        EXPECT_GT(Drawn(strip).first, faceAt96);

        MapWindowPoints(top, nullptr, reinterpret_cast<POINT*>(&r), 2);
        SetForegroundWindow(top);
        SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);  // over the multi-line field
        mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
        mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
        MSG msg;
        for (int i = 0; i < 500 && !form.notice().empty(); ++i) {
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) host.dispatch(msg);
            Sleep(10);
        }
        EXPECT_EQ(form.notice(), "");
        EXPECT_FALSE(IsWindowVisible(strip));
        form.close();
    }
}

// The owner is disabled while its dialog is shown, and its timer keeps
// ticking: here it closes the dialog, and showModal returns.
TEST_F(Win32ViewTest, ModalDialogDisablesItsOwnerWhoseTimersKeepTicking) {
    Form owner(ui), dialog(ui, &owner);
    owner.show();
    int ticks = 0;
    owner.TICKER.onTick = [&] {
        if (++ticks < 3) return;
        EXPECT_FALSE(IsWindowEnabled(host.hwndOf(owner)));
        dialog.close();
    };
    owner.TICKER.setInterval(20);
    owner.TICKER.start();
    owner.showModal(dialog);
    EXPECT_TRUE(IsWindowEnabled(host.hwndOf(owner)));
    owner.close();
}

}  // namespace
}  // namespace fhsw
