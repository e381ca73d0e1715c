#include "screens/MainStoryboard.h"

#include "platform/uikit/UIStoryboard.h"

void registerMainStoryboard() {
    registerShellScenes();
    registerPickerScenes();
    registerDetailScenes();
    UIStoryboard::setInitialScene(kMainStoryboardName, "SplashViewController");
}
