#pragma once
// What placement needs beside the popover's argument vocabulary.
#if __has_include("ui/popover/FLPopoverTypes.h")
#include "ui/popover/FLPopoverTypes.h"
#endif
