#include "screens/MainStoryboard.h"

void registerShellScenes() {}
