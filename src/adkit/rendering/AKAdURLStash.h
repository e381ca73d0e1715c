#pragma once
// The process-wide map from an ad page's base URL to the AKWebView showing it:
// ad web views add their base URL when they load an ad and remove it when they
// let the ad go; the rich-media script interceptor asks it which ad a script
// request comes from (its "referer").
//
// Every operation first makes the canonical URL of the URL it is given (below)
// and does nothing (answers nothing) when there is none. Views are held weakly:
// an entry whose view has gone away counts as absent, so a view that forgets
// to remove its URL never keeps itself alive through here nor answers for a
// later page.
//
// Canonical URL: the URL parsed; a string that does not parse has none. When
// the URL names a host without a port, the authority gets the default port of
// its scheme (":80" for http, ":443" for https; other schemes keep it as it
// is); only the authority changes, never other text that happens to repeat the
// host. Then the fragment is cut off, and one final "/" is removed. So
// "http://ads.example/page/" and "http://ads.example:80/page#top" are the same
// page.
//
// Threads: any; one lock guards the map. viewForURL answers a strong
// reference: a caller off the main thread hands it back to the main thread to
// release (views are main-thread objects).
#include <memory>
#include <optional>
#include <string>

class AKWebView;

class AKAdURLStash {
public:
    static void add(const std::string& URL, const std::shared_ptr<AKWebView>& view);
    static void remove(const std::string& URL);
    static std::shared_ptr<AKWebView> viewForURL(const std::string& URL);
    static bool hasStashedURLs();
    static std::optional<std::string> canonicalURLForURL(const std::string& URL);
};
