#include "screens/MainStoryboard.h"

#include "platform/uikit/UIStoryboard.h"

void registerMainStoryboard() {
    registerShellScenes();
    registerPickerScenes();
    registerDetailScenes();
    registerGridScenes();
    registerLibraryScenes();
    UIStoryboard::setInitialScene(kMainStoryboardName, "SplashViewController");
}
