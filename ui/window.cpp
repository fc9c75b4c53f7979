#include "ui/window.h"

#include <algorithm>

namespace fhsw {

// ---- Control -------------------------------------------------------------

Control::Control(Window& window, std::string name, ControlKind kind, std::string text,
                 TwipsRect place)
    : window_(window), name_(std::move(name)), kind_(kind), text_(std::move(text)), place_(place) {
    window_.controls_.push_back(this);
}

void Control::changed() { window_.notify(*this); }

void Control::setText(std::string text) {
    if (text == text_) return;
    text_ = std::move(text);
    changed();
}

void Control::setEnabled(bool on) {
    if (on == enabled_) return;
    enabled_ = on;
    changed();
}

void Control::setVisible(bool on) {
    if (on == visible_) return;
    visible_ = on;
    changed();
}

void Control::setPlace(TwipsRect place) {
    if (place == place_) return;
    place_ = place;
    changed();
}

void Control::setForeground(std::optional<Rgb> colour) {
    if (colour == foreground_) return;
    foreground_ = colour;
    changed();
}

void Control::setBackground(std::optional<Rgb> colour) {
    if (colour == background_) return;
    background_ = colour;
    changed();
}

void Control::setBold(bool on) {
    if (on == bold_) return;
    bold_ = on;
    changed();
}

void Control::setPointSize(double points) {
    if (points == pointSize_) return;
    pointSize_ = points;
    changed();
}

void Control::setAlign(Align align) {
    if (align == align_) return;
    align_ = align;
    changed();
}

void TextBox::setReadOnly(bool on) {
    if (on == readOnly_) return;
    readOnly_ = on;
    changed();
}

void TextBox::setMultiLine(bool on) {
    if (on == multiLine_) return;
    multiLine_ = on;
    changed();
}

void TextBox::setPasswordChar(std::string mask) {
    if (mask == passwordChar_) return;
    passwordChar_ = std::move(mask);
    changed();
}

void TextBox::setTabStop(bool on) {
    if (on == tabStop_) return;
    tabStop_ = on;
    changed();
}

void TickBox::setState(std::int16_t state) {
    if (state == state_) return;
    state_ = state;
    changed();
    if (onChange) onChange();
}

// ---- Timer ---------------------------------------------------------------

Timer::Timer(Window& window, std::string name) : window_(window), name_(std::move(name)) {
    window_.timers_.push_back(this);
}

Timer::~Timer() { disarm(); }

void Timer::setInterval(int ms) {
    interval_ = ms < 0 ? 0 : ms;
    if (running_) {
        disarm();
        arm();
    }
}

void Timer::start() {
    if (running_ || window_.isClosed()) return;
    running_ = true;
    arm();
}

void Timer::stop() {
    running_ = false;
    disarm();
}

void Timer::arm() {
    if (interval_ > 0) task_ = window_.ui().scheduler.callAfter(interval_, [this] { fire(); });
}

void Timer::disarm() {
    if (task_ != 0) window_.ui().scheduler.cancel(task_);
    task_ = 0;
}

void Timer::fire() {
    task_ = 0;
    if (!running_) return;
    arm();  // the next tick; a handler that stops the timer cancels it
    if (onTick) onTick();
}

// ---- Window --------------------------------------------------------------

Window::Window(UiContext& ui, std::string name, std::string caption, Window* owner)
    : ui_(ui), name_(std::move(name)), caption_(std::move(caption)), owner_(owner) {}

Window::~Window() {
    for (Timer* t : timers_) t->stop();
}

void Window::setCaption(std::string caption) {
    if (caption == caption_) return;
    caption_ = std::move(caption);
    notifyWindow();
}

void Window::setNotice(std::string text) {
    if (text == notice_) return;
    notice_ = std::move(text);
    notifyWindow();
}

Window& Window::activeWindow() {
    Window* w = this;
    while (w->modalChild_) w = w->modalChild_;
    return *w;
}

void Window::setLeft(float v) {
    left_ = v;
    notifyWindow();
}
void Window::setTop(float v) {
    top_ = v;
    notifyWindow();
}
void Window::setWidth(float v) {
    width_ = v;
    notifyWindow();
}
void Window::setHeight(float v) {
    height_ = v;
    notifyWindow();
}

void Window::movedByUser(float left, float top) {
    left_ = left;
    top_ = top;
}

Control* Window::find(const std::string& name) const {
    auto it = std::find_if(controls_.begin(), controls_.end(),
                           [&](Control* c) { return c->name() == name; });
    return it == controls_.end() ? nullptr : *it;
}

void Window::open() {
    load();
    open_ = true;
}

void Window::show() {
    open();
    if (!closed_) ui_.host.show(*this);
}

void Window::showModal(Window& dialog) {
    dialog.open();
    if (dialog.closed_) return;
    modalChild_ = &dialog;
    ui_.host.runModal(dialog);
    modalChild_ = nullptr;
}

void Window::close() {
    if (closed_) return;
    closed_ = true;
    unload();
    open_ = false;
    for (Timer* t : timers_) t->stop();
    auto observers = onClosed;
    for (auto& f : observers) f();
}

void ObserverHold::attach(Window& window, std::function<void(Control&)> onControl,
                          std::function<void()> onWindow) {
    release();
    window_ = &window;
    previousControl_ = window.onControlChanged;
    previousWindow_ = window.onWindowChanged;
    window.onControlChanged = [prev = previousControl_, own = std::move(onControl)](Control& c) {
        if (prev) prev(c);
        own(c);
    };
    window.onWindowChanged = [prev = previousWindow_, own = std::move(onWindow)] {
        if (prev) prev();
        own();
    };
}

void ObserverHold::release() {
    if (!window_) return;
    window_->onControlChanged = previousControl_;
    window_->onWindowChanged = previousWindow_;
    window_ = nullptr;
}

}  // namespace fhsw
