#include "screens/MainStoryboard.h"

void registerGridScenes() {}
