#pragma once
// What every screen shares: the screen colour, the tablet test, the one-button
// failure alert and the half-second pause after sheets, pulls and closing
// interstitials. Main thread only.
#include <functional>
#include <string>

#include "platform/uikit/UIColor.h"

// Red, green and blue 35/255, alpha 1: bars, backgrounds and grids.
UIColorPtr screenColor();

// A tablet answers the interface-idiom query with the pad idiom; every other
// device takes the phone path.
bool isTablet();

// The alert titled "Alert" with the message and one "OK" button, no delegate.
void showFailureAlert(const std::string& message);

// Runs the block 0.5 s from now on the main queue.
void runAfterHalfSecond(std::function<void()> block);
