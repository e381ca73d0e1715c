#pragma once
// URL protocols for web pages: the web-process extension diverts sub-resource
// requests whose last path component a registered NSURLProtocol class claims
// to a secure custom scheme, answered here in the application's process by
// that class (or fetched unchanged when none claims it). Main thread only.
typedef struct _WebKitWebContext WebKitWebContext;

namespace UIWebViewWPEProtocols {
// Loads the web-process extension and registers the scheme on the context.
// Called once, before the context's first web view.
void install(WebKitWebContext* context);
}  // namespace UIWebViewWPEProtocols
