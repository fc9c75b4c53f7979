// Shows window models through QtWindowView: the main window without
// modality, dialogs modal over their owner with a nested event loop.
#pragma once

#include <QPointer>
#include <functional>
#include <map>

#include "ui/window.h"

namespace fhsw {

class QtWindowView;

class QtWindowHost final : public WindowHost {
public:
    QtWindowHost();
    // Deletes the views still shown; their models must still be alive.
    ~QtWindowHost() override;
    QtWindowHost(const QtWindowHost&) = delete;
    QtWindowHost& operator=(const QtWindowHost&) = delete;

    // Creates the view and shows it, not modal.
    void show(Window& window) override;
    // Shows the dialog modal over its owner's view and runs a nested event
    // loop until the dialog has closed. Timers keep running meanwhile.
    void runModal(Window& dialog) override;
    // The available area of each screen (without panels and docks).
    std::vector<TwipsRect> screens() const override;

    // The view of a window being shown; nullptr before show and after close.
    QtWindowView* viewOf(const Window& window) const;

    // Run when a window shown with show() has closed and no window is left.
    // The default quits the application's event loop.
    std::function<void()> onLastWindowClosed;

private:
    QtWindowView* open(Window& window, bool modal);
    std::map<const Window*, QPointer<QtWindowView>> views_;
};

}  // namespace fhsw
