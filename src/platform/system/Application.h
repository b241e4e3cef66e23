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

// The application object over the QApplication that the process entry created: its delegate,
// event loop and termination.
class Application {
  public:
    // Held weakly: the application does not keep its delegate alive.
    void setDelegate(std::weak_ptr<ApplicationDelegate> delegate);
    // The app has no window of its own, only the tray item: closing the last window (an alert)
    // must not end it; only terminate() does.
    void setQuitOnLastWindowClosed(bool quit);
    // Runs the event loop until terminate(); tells the delegate that launching has finished
    // once the loop runs.
    void run();
    // Ends the event loop with exit status 0.
    void terminate();

  private:
    std::weak_ptr<ApplicationDelegate> delegate;
};

}  // namespace platform
