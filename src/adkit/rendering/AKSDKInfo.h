#pragma once
// The SDK version string that ad rendering sends to pages (the "version" of
// SDK events). The ad requests own the string and install their provider at
// start-up; until one is installed the version reads as the empty string.
// Any thread.
#include <functional>
#include <string>

namespace AKSDKInfo {
using Provider = std::function<std::string()>;
// Null removes the provider.
void setSDKVersionProvider(Provider provider);
std::string SDKVersion();
}  // namespace AKSDKInfo
