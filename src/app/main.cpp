#include <cstdio>
#include <memory>
#include <string>

#include "adkit/foundation/AKApplication.h"
#include "adkit/foundation/AKReachability.h"
#include "core/AppDelegate.h"
#include "networking/NSURLSessionTaskStateObserving.h"
#include "ui/popover/FLPopoverControllerExtensions.h"
#include "platform/display/DeviceScreenServer.h"
#include "platform/foundation/NSLog.h"
#include "platform/uikit/UIApplication.h"

// Read by the thread checker: races it reports inside uninstrumented libraries
// (font matching on Pango's own threads, the device screen's HTTP library).
extern "C" const char* __tsan_default_suppressions() {
    return "race:FcValueSave\nrace:libfontconfig.so\nrace:libpangoft2-1.0.so\ncalled_from_lib:libcpp-httplib.so\n";
}

int main(int argc, char** argv) {
    registerApplicationClasses();
    // Start-up hooks: session tasks announce resume and suspend, navigation and
    // view controllers inside popovers keep their sizes in step, and the ad
    // library waits for did-finish-launching.
    NLInstallSessionTaskStateObserving();
    FLPopoverInstallControllerExtensions();
    AKApplication::load();
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
