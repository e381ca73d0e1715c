#include "ui/circularprogress/UIColoriOS7.h"

UIColorPtr ios7Blue() { return UIColor::colorWithRed(0, 122.0 / 255.0, 1, 1); }

UIColorPtr ios7Gray() { return UIColor::colorWithRed(181.0 / 255.0, 182.0 / 255.0, 183.0 / 255.0, 1); }
