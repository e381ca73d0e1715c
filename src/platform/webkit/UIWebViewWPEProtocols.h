#pragma once
// URL protocols for web pages: the web-process extension diverts sub-resource
// requests whose last path component a registered NSURLProtocol class claims
// to a secure custom scheme, answered here in the application's process by
// that class (or fetched unchanged when none claims it). Main thread only.
//
// - The extension (extension/, a module of its own built into
//   QUORVANE_WEB_EXTENSIONS_DIR) gets the claimed names in each web process's
//   initialization user data and again after every registerClass or
//   unregisterClass (a user message to every web process of the context).
// - A diverted request carries the original URL and the page's URL; the class
//   sees a request of the original URL with the page's URL as "referer". An
//   unclaimed one is fetched by an NSURLConnection (trusting what
//   UIWebViewWPETrust trusts) and its status, MIME type and body passed on; a
//   failed load fails the page's request (a script's onerror fires).
// - A request whose view goes away before its answer is dropped, its
//   connection cancelled (so a protocol instance is stopped).
typedef struct _WebKitWebContext WebKitWebContext;

namespace UIWebViewWPEProtocols {
// Loads the web-process extension and registers the scheme on the context.
// Called once, before the context's first web view.
void install(WebKitWebContext* context);
}  // namespace UIWebViewWPEProtocols
