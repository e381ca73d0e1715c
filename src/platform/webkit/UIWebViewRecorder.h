#pragma once
// The recording backing: renders nothing and loads nothing on its own. It
// records what its view asked for, and tests play the engine's part: they
// make navigations (asking the delegate), finish or fail loads and answer
// scripts. Main thread only.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/webkit/UIWebView.h"

class UIWebViewRecorder : public UIWebViewBacking {
public:
    explicit UIWebViewRecorder(UIWebViewBackingClient& client) : client_(client) {}

    // The factory for UIWebView::useBackingFactory.
    static UIWebView::BackingFactory factory();
    // The recorder behind a view made while the factory was in use.
    static UIWebViewRecorder& of(const UIWebView& view);

    // Played by tests: a navigation the page makes (true when the delegate
    // allowed it; an allowed main-frame navigation starts a load), the end of
    // the current load, and the answer to scripts (by default "").
    bool navigate(const std::string& URL, UIWebViewNavigationType type, bool mainFrame = true);
    void finishLoad(std::optional<long> statusCode = 200);
    void failLoad(const NSError& error);
    void setScriptAnswer(std::function<std::string(const std::string& script)> answer) {
        scriptAnswer_ = std::move(answer);
    }
    const std::vector<std::string>& evaluatedScripts() const { return scripts_; }
    bool engineVisible() const { return engineVisible_; }
    const std::vector<std::pair<CGPoint, int>>& touches() const { return touches_; }
    struct Background {
        double red = 0, green = 0, blue = 0, alpha = 0;
        bool opaque = false;
    };
    const Background& background() const { return background_; }

    void loadHTMLString(const std::string& html, const std::string& baseURL) override;
    void loadData(const Data& data, const std::string& MIMEType, const std::string& textEncodingName,
                  const std::string& baseURL) override;
    void loadRequest(const std::shared_ptr<NSURLRequest>& request) override;
    void stopLoading() override { loading_ = false; }
    void reload() override;
    void goBack() override {}
    void goForward() override {}
    bool canGoBack() const override { return false; }
    bool canGoForward() const override { return false; }
    bool isLoading() const override { return loading_; }
    std::shared_ptr<NSURLRequest> request() const override { return request_; }
    std::optional<long> mainDocumentStatusCode() const override { return statusCode_; }
    std::string evaluateJavaScript(const std::string& script) override;
    void setViewSize(CGSize, double) override {}
    void setEngineVisible(bool visible) override { engineVisible_ = visible; }
    void setBackground(double red, double green, double blue, double alpha, bool opaque) override {
        background_ = {red, green, blue, alpha, opaque};
    }
    void setScalesPageToFit(bool) override {}
    void setMediaPlaybackRequiresUserAction(bool) override {}
    void setAllowsInlineMediaPlayback(bool) override {}
    void touch(CGPoint point, int phase) override { touches_.emplace_back(point, phase); }

private:
    // A load the host started: asks the delegate (type Other), then starts.
    void hostLoad(const std::string& URL);

    UIWebViewBackingClient& client_;
    std::shared_ptr<NSURLRequest> request_;
    std::optional<long> statusCode_;
    bool loading_ = false;
    bool engineVisible_ = true;
    Background background_;
    std::function<std::string(const std::string&)> scriptAnswer_;
    std::vector<std::string> scripts_;
    std::vector<std::pair<CGPoint, int>> touches_;
};
