#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <optional>

#include "AnimationController.h"
#include "WhaleSceneView.h"
#include "platform/system/Alert.h"
#include "platform/system/Application.h"
#include "platform/system/Clock.h"
#include "platform/system/Defaults.h"
#include "platform/system/Logger.h"
#include "platform/system/LoginItem.h"
#include "platform/system/TickSource.h"
#include "platform/system/Timer.h"
#include "platform/tray/Menu.h"
#include "platform/tray/StatusItem.h"

// The application's delegate: builds the tray item with the whale and its menu once launching
// has finished, starts the animation and the once-a-second readouts, and carries out the menu's
// commands. Owns every long-lived object of the running app. Create it with std::make_shared:
// the menu actions and the readout timer hold it weakly. Main thread only.
class AppDelegate : public platform::ApplicationDelegate,
                    public std::enable_shared_from_this<AppDelegate> {
  public:
    // The platform services it runs on, also those of the controller, the scene view and the
    // sampler it sets going; any left empty is the real one.
    struct Services {
        std::shared_ptr<platform::Application> application;
        // Where the tray item is exported; the session bus unless given.
        std::shared_ptr<platform::BusConnection> bus;
        // The "app" log and the controller's "animation" log.
        std::shared_ptr<const platform::Logger> log;
        std::shared_ptr<const platform::Logger> animationLog;
        // The readout timer's and the controller's.
        std::shared_ptr<platform::TimerFactory> timers;
        std::shared_ptr<const platform::WallClock> wallClock;
        std::shared_ptr<const platform::MediaClock> mediaClock;
        // The processor counters the sampler reads.
        std::shared_ptr<platform::TickSource> tickSource;
        std::shared_ptr<platform::SleepNotifier> sleepNotifier;
        std::shared_ptr<const platform::PowerMode> powerMode;
        std::shared_ptr<platform::Appearance> appearance;
        std::shared_ptr<platform::Random> random;
        std::shared_ptr<platform::AlertPresenter> alerts;
    };

    static constexpr double readoutInterval = 1.0;
    static constexpr double peakWindow = 60.0;
    // The item's width while the percentage label is shown and while it is hidden.
    static constexpr double lengthWithPercentage = 44.0;
    static constexpr double lengthWithoutPercentage = 30.0;

    // Makes the sampler read the services' tick source.
    explicit AppDelegate(Services given = {});

    void applicationDidFinishLaunching() override;
    // The Quit entry's command; also what a termination signal runs.
    void quit(const QObject* sender = nullptr);

  private:
    friend struct AppDelegateProbe;

    void startAnimations();
    void setupStatusItem();
    void buildMenu();
    bool storedShowPercentage();
    platform::MenuItem::Action weakAction(std::function<void(AppDelegate&, platform::MenuItem&)>);

    void refreshUI();
    void refreshPeak(double u);
    void updateToolTip();
    static QString stateText(double u);

    void togglePercent(const QObject* sender = nullptr);
    void toggleLaunch(platform::MenuItem& sender);
    void showAbout(const QObject* sender = nullptr);
    QString versionString() const;

    std::shared_ptr<const platform::Logger> log;
    std::shared_ptr<platform::StatusItem> statusItem;
    std::shared_ptr<WhaleSceneView> sceneView;
    std::shared_ptr<AnimationController> controller;
    std::unique_ptr<platform::Timer> uiTimer;
    std::shared_ptr<platform::MenuItem> cpuItem;
    std::shared_ptr<platform::MenuItem> stateItem;
    std::shared_ptr<platform::MenuItem> percentItem;
    std::shared_ptr<platform::MenuItem> launchItem;
    double peakValue = 0.0;
    platform::WallTime peakWindowStart;

    // All filled in: the given ones and the real ones in the gaps.
    Services services;
    platform::Defaults defaults;
    platform::LoginItem loginItem;
};
