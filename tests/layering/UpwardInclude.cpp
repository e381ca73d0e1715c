// Protects the platform's layering: code that sees only foundation (and what
// lies below it) cannot include a header of a folder above it. This file must
// not compile; the test passes when the compiler reports the header missing.
#include "platform/uikit/UIView.h"
