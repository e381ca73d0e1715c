#pragma once
// The system blue and grey of the flat look, as colour routines.
#include "platform/uikit/UIColor.h"

// Red 0, green 122/255, blue 1, alpha 1.
UIColorPtr ios7Blue();
// Red 181/255, green 182/255, blue 183/255, alpha 1.
UIColorPtr ios7Gray();
