#include "screens/MainStoryboard.h"

void registerPickerScenes() {}
