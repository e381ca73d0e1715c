#pragma once
// The debug dialog's "Copy": puts the text on the general pasteboard. Main thread only.
#include <string>

namespace AKWebViewPasteboard {
void copy(const std::string& text);
}
