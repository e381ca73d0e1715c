#pragma once
// What the application tells its delegate over its life. Every method does
// nothing by default; didFinishLaunchingWithOptions answers YES.
#include <memory>

#include "platform/foundation/Value.h"

class UIApplication;
class UIWindow;

class UIApplicationDelegate {
public:
    virtual ~UIApplicationDelegate() = default;

    // application:didFinishLaunchingWithOptions:
    virtual bool didFinishLaunchingWithOptions(const std::shared_ptr<UIApplication>& /*application*/,
                                               const Value& /*launchOptions*/) {
        return true;
    }
    virtual void applicationDidBecomeActive(const std::shared_ptr<UIApplication>&) {}
    virtual void applicationWillResignActive(const std::shared_ptr<UIApplication>&) {}
    virtual void applicationDidEnterBackground(const std::shared_ptr<UIApplication>&) {}
    virtual void applicationWillEnterForeground(const std::shared_ptr<UIApplication>&) {}
    virtual void applicationWillTerminate(const std::shared_ptr<UIApplication>&) {}
    virtual void applicationDidReceiveMemoryWarning(const std::shared_ptr<UIApplication>&) {}

    // The application's window; a delegate that keeps one overrides both.
    virtual std::shared_ptr<UIWindow> window() const { return nullptr; }
    virtual void setWindow(std::shared_ptr<UIWindow> /*window*/) {}
};
