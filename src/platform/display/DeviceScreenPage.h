#pragma once
// The device screen's page: one self-contained HTML document (no outside
// resources) that shows the frames at one CSS pixel a point, long-polling
// /frame.png?after=N, and turns the pointer and the keyboard into input.
// A click is a tap and a longer hold (from 0.5 s) a press; a pointer that
// moved is a drag, and the click the browser adds after it is not a tap; the
// wheel scrolls; keys typed anywhere on the page go to the first responder.
// Inputs are sent one after the other, in the order they happened.
#include <string>

const std::string& DeviceScreenPageHtml();
// The Content-Security-Policy the page is served with (nothing from elsewhere).
const char* DeviceScreenPageContentSecurityPolicy();
