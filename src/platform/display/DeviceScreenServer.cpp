#include "platform/display/DeviceScreenServer.h"

#include <charconv>
#include <cstdlib>

#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIScreen.h"

namespace {

const char* environment(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

}  // namespace

bool DeviceScreenServerOptions::fromEnvironment(DeviceScreenServerOptions& options, std::string& error) {
    if (const char* port = environment("QUORVANE_SCREEN_PORT")) {
        const std::string text = port;
        int value = -1;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (ec != std::errc() || end != text.data() + text.size() || value < 0 || value > 65535) {
            error = "QUORVANE_SCREEN_PORT must be a port from 0 to 65535, not \"" + text + "\"";
            return false;
        }
        options.port = value;
    }
    if (const char* file = environment("QUORVANE_SCREEN_PORT_FILE")) options.portFile = file;
    if (const char* device = environment("QUORVANE_DEVICE")) {
        const std::string kind = device;
        if (kind != "phone" && kind != "tablet") {
            error = "QUORVANE_DEVICE must be phone or tablet, not \"" + kind + "\"";
            return false;
        }
        options.deviceKind = kind;
    }
    return true;
}

bool DeviceScreenApplyDeviceKind(const std::string& kind) {
    const bool tablet = kind == "tablet";
    if (!tablet && kind != "phone") return false;
    auto screen = UIScreen::mainScreen();
    screen->setBounds(tablet ? CGRectMake(0, 0, 768, 1024) : CGRectMake(0, 0, 320, 568));
    screen->setScale(2);
    UIDevice::currentDevice()->setUserInterfaceIdiom(tablet ? UIUserInterfaceIdiomPad : UIUserInterfaceIdiomPhone);
    return true;
}

std::string DeviceScreenServer::url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }
