#pragma once
// Where ad rendering finds the library's core page: the web view of the core
// page that is active at the time (page events such as "navigationBlocked" go
// there). The page and its controller belong to the ad requests above this
// layer, which install the source when their controller is made; until then
// there is no core page and activeWebView answers null.
//
// Threads: installing may happen on any thread; activeWebView is main thread
// only (the source reads the page's web view there).
#include <functional>
#include <memory>

class AKWebView;

namespace AKCorePage {
using Source = std::function<std::shared_ptr<AKWebView>()>;

// Installs the source (null removes it) and gives back the one it replaced.
Source setActiveWebViewSource(Source source);
// The active core page's web view, or null (no source, or no page loaded yet).
std::shared_ptr<AKWebView> activeWebView();
}  // namespace AKCorePage
