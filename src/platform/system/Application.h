#pragma once

#include <memory>

namespace platform {

// Receives the application's launch notice.
class ApplicationDelegate {
  public:
    virtual ~ApplicationDelegate() = default;
    // Called once, from the event loop, as soon as it runs.
    virtual void applicationDidFinishLaunching() = 0;
};

// The application object over the QApplication that the process entry created: activation
// policy, event loop and termination. Tests derive to see terminate() without ending anything.
class Application {
  public:
    enum class ActivationPolicy { accessory = 1 };

    virtual ~Application() = default;

    // Held weakly: the application does not keep its delegate alive.
    void setDelegate(std::weak_ptr<ApplicationDelegate> delegate);
    // Accessory: no window and no taskbar entry, so closing a window (an alert) never ends the
    // application; only terminate() does.
    virtual void setActivationPolicy(ActivationPolicy policy);
    // Runs the event loop until terminate(); tells the delegate that launching has finished
    // once the loop runs.
    void run();
    // Ends the event loop with exit status 0.
    virtual void terminate();

  private:
    std::weak_ptr<ApplicationDelegate> delegate;
};

}  // namespace platform
