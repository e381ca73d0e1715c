// The copy lands on the general pasteboard once the platform has one.
#include "adkit/rendering/AKWebViewPasteboard.h"

void AKWebViewPasteboard::copy(const std::string& /*text*/) {}
