#include "screens/MainStoryboard.h"

void registerDetailScenes() {}
