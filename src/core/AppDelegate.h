#pragma once
// The application delegate: launch configuration, the object store stack, the
// server configuration and the interstitial pacing counters, and full-screen
// playback of stream URLs over the top-most view controller.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/coredata/NSManagedObjectContext.h"
#include "platform/coredata/NSManagedObjectModel.h"
#include "platform/coredata/NSPersistentStoreCoordinator.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/Value.h"
#include "platform/media/MPMoviePlayerController.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIApplicationDelegate.h"
#include "platform/uikit/UIResponder.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWindow.h"

inline constexpr const char* kRefreshMovieViewNotification = "kRefreshMovieViewNotification";

class AppDelegate : public UIResponder, public UIApplicationDelegate {
public:
    AppDelegate();

    // The delegate of the running application.
    static std::shared_ptr<AppDelegate> shared();

    // Life cycle.
    bool didFinishLaunchingWithOptions(const std::shared_ptr<UIApplication>& application,
                                       const Value& launchOptions) override;
    void applicationWillResignActive(const std::shared_ptr<UIApplication>&) override {}
    void applicationDidEnterBackground(const std::shared_ptr<UIApplication>&) override {}
    void applicationWillEnterForeground(const std::shared_ptr<UIApplication>&) override {}
    void applicationDidBecomeActive(const std::shared_ptr<UIApplication>&) override {}
    void applicationWillTerminate(const std::shared_ptr<UIApplication>&) override {}
    void navigationBarApperance() {}

    std::shared_ptr<UIWindow> window() const override { return window_; }
    void setWindow(std::shared_ptr<UIWindow> window) override { window_ = std::move(window); }

    // The server configuration ("getversion" data); null until a screen sets it.
    const Value& defaultInfo() const { return defaultInfo_; }
    void setDefaultInfo(Value info) { defaultInfo_ = std::move(info); }
    std::int32_t localCount() const { return localCount_; }
    void setLocalCount(std::int32_t v) { localCount_ = v; }
    std::int32_t localAds() const { return localAds_; }
    void setLocalAds(std::int32_t v) { localAds_ = v; }

    // The object store, opened on first use; a failure to open it is kept in
    // storeOpenError() until an open succeeds. Only a damaged file (no store, or
    // a corrupt one) is moved aside (kept, never deleted) for a fresh store. A
    // store that another process holds is left alone: the open fails at once
    // (busy), the context has no store meanwhile, and every later call of
    // persistentStoreCoordinator() or managedObjectContext() tries again. Any
    // other failure leaves the file as it is and the application without a store.
    std::shared_ptr<NSManagedObjectModel> managedObjectModel();
    std::shared_ptr<NSPersistentStoreCoordinator> persistentStoreCoordinator();
    std::shared_ptr<NSManagedObjectContext> managedObjectContext();
    NSErrorPtr storeOpenError() const { return storeOpenError_; }
    // The store was held by another process at the last attempt to open it.
    bool storeBusy() const { return storeBusy_; }
    // The path an unreadable store was moved to, if that happened.
    const std::optional<std::string>& movedAsideStorePath() const { return movedAsideStorePath_; }
    // Saves pending changes; a failure is logged and reported, the process goes on.
    bool saveContext(NSErrorPtr* error = nullptr);
    NSURLPtr applicationDocumentsDirectory() const;

    std::shared_ptr<UIViewController> getTopViewController() const;

    // Ad gates.
    bool checkShowAdvertising() const;
    bool showAdvertisingFullScreen();

    // Playback.
    void startPlaybackEventWithURLString(const std::optional<std::string>& urlString);
    void movieFinishedCallback(const NSNotification& notification);

private:
    std::shared_ptr<UIWindow> window_;
    Value defaultInfo_;
    std::int32_t localCount_ = 0;
    std::int32_t localAds_ = 0;
    std::shared_ptr<NSManagedObjectModel> model_;
    std::shared_ptr<NSPersistentStoreCoordinator> coordinator_;
    std::shared_ptr<NSManagedObjectContext> context_;
    NSErrorPtr storeOpenError_;
    bool storeBusy_ = false;
    std::optional<std::string> movedAsideStorePath_;

    void openStore();
};

// Registers the application's classes with the class registry (the delegate by its name).
void registerApplicationClasses();
