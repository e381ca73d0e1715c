#include <cstdio>
#include <memory>
#include <string>

#include "adkit/foundation/AKReachability.h"
#include "core/AppDelegate.h"
#include "platform/display/DeviceScreenServer.h"
#include "platform/foundation/NSLog.h"
#include "platform/uikit/UIApplication.h"

int main(int argc, char** argv) {
    registerApplicationClasses();
    AKReachability::connectPlatform();  // the ad library watches the real network

    // The device screen: the application's face on a local page. Without it the
    // application still runs; the console says why.
    std::unique_ptr<DeviceScreenServer> screen;
    DeviceScreenServerOptions options;
    std::string error;
    if (!DeviceScreenServerOptions::fromEnvironment(options, error) ||
        !(screen = DeviceScreenServer::start(options, error))) {
        NSLog("Device screen: not started: %@", error);
    } else {
        std::printf("Device screen: %s\n", screen->url().c_str());
        std::fflush(stdout);
    }

    const int status = UIApplicationMain(argc, argv, "", NSStringFromClass<AppDelegate>());
    screen.reset();  // stops serving before the process ends
    return status;
}
