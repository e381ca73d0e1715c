#include "screens/MainStoryboard.h"

void registerLibraryScenes() {}
