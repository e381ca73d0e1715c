#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "adkit/foundation/AKApplication.h"
#include "adkit/foundation/AKReachability.h"
#include "core/AppDelegate.h"
#include "networking/NSURLSessionTaskStateObserving.h"
#include "ui/popover/FLPopoverControllerExtensions.h"
#include "platform/display/DeviceScreenServer.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSLog.h"
#include "platform/security/SecTrust.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIStoryboard.h"
#include "platform/webkit/UIWebView.h"
#include "screens/MainStoryboard.h"
#include "screens/RotationPolicy.h"

// Read by the leak checker of sanitized builds: fontconfig (under the text
// layout the screens draw with) keeps parts of its font patterns behind
// encoded offsets the checker cannot follow, so what it holds for the life of
// the process reads as leaked at exit.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

// Read by the thread checker: races it reports inside uninstrumented libraries
// (font matching on Pango's own threads, the device screen's HTTP library).
extern "C" const char* __tsan_default_suppressions() {
    return "race:FcValueSave\nrace:libfontconfig.so\nrace:libpangoft2-1.0.so\ncalled_from_lib:libcpp-httplib.so\n";
}

// The first screen: the initial scene of the storyboard the information
// dictionary names under "UIMainStoryboardFile". Without one the delegate
// makes its own window.
static std::shared_ptr<UIViewController> mainStoryboardInterface() {
    const std::string name = NSBundle::mainBundle()->objectForInfoDictionaryKey("UIMainStoryboardFile").stringValue();
    if (name.empty()) return nullptr;
    auto storyboard = UIStoryboard::storyboardWithName(name, nullptr);
    return storyboard ? storyboard->instantiateInitialViewController() : nullptr;
}

// QUORVANE_LOCAL_AUTHORITY names the PEM certificate of a local test authority
// (the local ad server's, which `make run` starts, made afresh at each start with
// keys that never leave that server): web views trust it for 127.0.0.1 and
// localhost alone; the application's own connections take it as one more
// anchor. Unset in a normal run.
static void trustLocalAuthority() {
    const char* path = std::getenv("QUORVANE_LOCAL_AUTHORITY");
    if (!path || !*path) return;
    std::ifstream in(path);
    const auto anchors = SecCertificatesFromPEM(std::string(std::istreambuf_iterator<char>(in), {}));
    if (anchors.empty()) {
        NSLog("Local authority: no certificate in %s", std::string(path));
        return;
    }
    UIWebView::trustCertificateAuthorityForHosts(path, {"127.0.0.1", "localhost"});
    SecTrustSetAdditionalSystemAnchors(anchors);
}

// QUORVANE_EXIT_WITH_PARENT=1: the application is asked to end (SIGTERM) when the
// process that started it goes, so a test runner or script that is killed leaves no
// application behind. Unset in a normal run.
static void followParentIfAsked() {
    const char* follow = std::getenv("QUORVANE_EXIT_WITH_PARENT");
    if (!follow || std::string(follow) != "1") return;
    const pid_t parent = getppid();
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) std::raise(SIGTERM);  // it went before the request took hold
}

// Sanitized builds only: the leak checker's own exit-time check.
extern "C" void __lsan_do_leak_check() __attribute__((weak));

// The application's threads (the network thread's run loop, dispatch workers,
// the engine's and the device screen's threads) are not joined: one may still
// be storing a poster or hashing its name when the run loop has ended. So once
// the application has ended in order (its delegate told, its state written),
// the process ends without running static destructors and library
// finalizers, which would tear down what those threads still use (OpenSSL's
// tables, say). Buffered output is written first; a sanitized build runs its
// leak check first, as it would at exit.
[[noreturn]] static void endProcess(int status) {
    std::fflush(nullptr);
    if (__lsan_do_leak_check) __lsan_do_leak_check();
    ::_exit(status);
}

int main(int argc, char** argv) {
    UIApplicationHoldTerminationSignals();  // before any thread starts
    followParentIfAsked();
    registerApplicationClasses();
    // Start-up hooks: the scenes of the storyboard "Main", the rotation answers
    // of every controller, session tasks announce resume and suspend, navigation
    // and view controllers inside popovers keep their sizes in step, and the ad
    // library waits for did-finish-launching.
    registerMainStoryboard();
    installRotationPolicy();
    NLInstallSessionTaskStateObserving();
    FLPopoverInstallControllerExtensions();
    AKApplication::load();
    AKReachability::connectPlatform();  // the ad library watches the real network
    trustLocalAuthority();

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

    // The window is made from the main storyboard at launch.
    UIApplication::setMainInterfaceLoader(mainStoryboardInterface);
    const int status = UIApplicationMain(argc, argv, "", NSStringFromClass<AppDelegate>());
    screen.reset();  // stops serving before the process ends
    endProcess(status);
}
