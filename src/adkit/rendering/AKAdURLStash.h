#pragma once
// The process-wide map from an ad page's base URL to the AKWebView showing it
// (views held weakly). Ad web views add their base URL when they load an ad
// and remove it when they let the ad go. Any thread.
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
