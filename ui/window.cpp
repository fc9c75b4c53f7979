#include "ui/window.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace fhsw {

// ---- Layout --------------------------------------------------------------

int TwipsToPixels(double twips, unsigned dpi) {
    return static_cast<int>(std::lround(twips * dpi / (kTwipsPerPixel * 96.0)));
}

double PixelsToTwips(double pixels, unsigned dpi) { return pixels * kTwipsPerPixel * 96.0 / dpi; }

PixelRect ClientPixels(const Window& w, unsigned dpi) {
    return {0, 0, std::max(TwipsToPixels(80 * kTwipsPerPixel, dpi), TwipsToPixels(w.width() - 90, dpi)),
            std::max(TwipsToPixels(40 * kTwipsPerPixel, dpi), TwipsToPixels(w.height() - 435, dpi))};
}

PixelRect PixelsOf(const Control& c, unsigned dpi) {
    const TwipsRect& r = c.place();
    const int x0 = TwipsToPixels(r.left, dpi), y0 = TwipsToPixels(r.top, dpi);
    if (c.kind() != ControlKind::Line)
        return {x0, y0, TwipsToPixels(r.width, dpi), TwipsToPixels(r.height, dpi)};
    const int x1 = TwipsToPixels(r.left + r.width, dpi), y1 = TwipsToPixels(r.top + r.height, dpi);
    return {std::min(x0, x1), std::min(y0, y1), std::abs(x1 - x0) + 1, std::abs(y1 - y0) + 1};
}

// ---- Control -------------------------------------------------------------

Control::Control(Window& window, std::string name, ControlKind kind, std::string text,
                 TwipsRect place)
    : window_(window), name_(std::move(name)), kind_(kind), text_(std::move(text)), place_(place) {
    window_.controls_.push_back(this);
}

void Control::changed() { window_.notify(*this); }

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
    if (modalChild_) modalChild_->close();
    auto observers = onClosed;
    for (auto& f : observers) f();
}

}  // namespace fhsw
