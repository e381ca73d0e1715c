#include "core/AppDelegate.h"
#include "platform/uikit/UIApplication.h"

int main(int argc, char** argv) {
    registerApplicationClasses();
    return UIApplicationMain(argc, argv, "", NSStringFromClass<AppDelegate>());
}
