// Toolkit-free window: its controls, timers, geometry and lifecycle. Window
// classes derive from it, hold their controls as members and put their
// opening and closing steps into load() and unload().
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/controls.h"
#include "ui/scheduler.h"

namespace fhsw {

class Window;

// How both views lay a window out. 15 twips make a pixel at 96 DPI. A
// window's size in the model is its outer size; the layouts were drawn for a
// frame and title bar that take 90 by 435 twips of it, and a client area is
// never shown smaller than 80 by 40 pixels (at 96 DPI).
inline constexpr int kTwipsPerPixel = 15;
int TwipsToPixels(double twips, unsigned dpi = 96);
double PixelsToTwips(double pixels, unsigned dpi = 96);
struct PixelRect {
    int left = 0, top = 0, width = 0, height = 0;
};
PixelRect ClientPixels(const Window& window, unsigned dpi = 96);
// A control's place; a line's is the rectangle between its two ends,
// one pixel wider and taller (it rises when width * height < 0).
PixelRect PixelsOf(const Control& control, unsigned dpi = 96);

// A timer that fires on the window's scheduler. Its first tick comes one
// interval after it was started (or after its interval was set while it was
// running); a running timer with no interval does not tick.
class Timer {
public:
    Timer(Window& window, std::string name);
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    const std::string& name() const { return name_; }
    int interval() const { return interval_; }
    void setInterval(int ms);
    bool running() const { return running_; }
    void start();  // no effect on a running timer
    void stop();
    std::function<void()> onTick;

private:
    void arm();
    void disarm();
    void fire();

    Window& window_;
    std::string name_;
    int interval_ = 0;
    bool running_ = false;
    Scheduler::TaskId task_ = 0;
};

// What shows windows: the Qt view in the program, a scripted host in tests.
class WindowHost {
public:
    virtual ~WindowHost() = default;
    // Shows a window that is not modal (the main window) and returns.
    virtual void show(Window& window) = 0;
    // Shows `dialog` modally over its owner and returns once it has closed.
    // Timers keep running meanwhile.
    virtual void runModal(Window& dialog) = 0;
    // The areas of the screens that windows may take, in twips on the
    // desktop; empty when not known (then no stored place is questioned).
    virtual std::vector<TwipsRect> screens() const { return {}; }
};

struct UiContext {
    Scheduler& scheduler;
    WindowHost& host;
};

class Window {
public:
    Window(UiContext& ui, std::string name, std::string caption, Window* owner = nullptr);
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    const std::string& name() const { return name_; }
    const std::string& caption() const { return caption_; }
    void setCaption(std::string caption);

    // A notice for the user that belongs to no control (a setting that could
    // not be stored): the view shows it over the window until it is replaced
    // or dismissed (an empty text).
    const std::string& notice() const { return notice_; }
    void setNotice(std::string text);
    // The window that takes the user's input now: this one, or the innermost
    // modal dialog shown over it.
    Window& activeWindow();
    Window* owner() const { return owner_; }
    UiContext& ui() const { return ui_; }

    // Outer geometry in twips.
    float left() const { return left_; }
    float top() const { return top_; }
    float width() const { return width_; }
    float height() const { return height_; }
    void setLeft(float v) { setGeometry(left_, v); }
    void setTop(float v) { setGeometry(top_, v); }
    void setWidth(float v) { setGeometry(width_, v); }
    void setHeight(float v) { setGeometry(height_, v); }
    // The view reports a move by the user without echoing it back.
    void movedByUser(float left, float top);

    Button* defaultButton() const { return defaultButton_; }
    Button* cancelButton() const { return cancelButton_; }
    // Set by the window's constructor; the view reads them once.
    void setDefaultButton(Button* b) { defaultButton_ = b; }
    void setCancelButton(Button* b) { cancelButton_ = b; }
    // Enter and Esc pressed in the window.
    void pressDefault() {
        if (defaultButton_) defaultButton_->press();
    }
    void pressCancel() {
        if (cancelButton_) cancelButton_->press();
    }

    const std::vector<Control*>& controls() const { return controls_; }
    const std::vector<Timer*>& timers() const { return timers_; }
    Control* find(const std::string& name) const;

    // Runs the opening steps and shows the window, not modal.
    void show();
    // Runs the opening steps of `dialog` and shows it modally over this
    // window; returns when it has closed.
    void showModal(Window& dialog);
    // Runs the closing steps once and ends the window: its timers stop, and
    // the dialog shown over it closes too.
    void close();
    bool isOpen() const { return open_; }
    bool isClosed() const { return closed_; }
    // The modal dialog shown over this window right now, if any.
    Window* modalChild() const { return modalChild_; }

    // Observers (the view that shows the window): a control or the window
    // changed, the window closed.
    std::function<void(Control&)> onControlChanged;
    std::function<void()> onWindowChanged;
    std::vector<std::function<void()>> onClosed;

protected:
    virtual void load() {}
    virtual void unload() {}

private:
    friend class Control;
    friend class Timer;
    void notify(Control& c) {
        if (onControlChanged) onControlChanged(c);
    }
    void notifyWindow() {
        if (onWindowChanged) onWindowChanged();
    }
    void setGeometry(float& edge, float v) {
        edge = v;
        notifyWindow();
    }
    void open();

    UiContext& ui_;
    std::string name_;
    std::string caption_;
    std::string notice_;
    Window* owner_;
    float left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    Button* defaultButton_ = nullptr;
    Button* cancelButton_ = nullptr;
    std::vector<Control*> controls_;
    std::vector<Timer*> timers_;
    Window* modalChild_ = nullptr;
    bool open_ = false;
    bool closed_ = false;
};

}  // namespace fhsw
