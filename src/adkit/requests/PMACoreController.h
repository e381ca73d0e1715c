#pragma once
// The hidden controller page of publisher-managed campaigns, kept in a
// JavaScript container: activity reports go to its script function
// "adkit.contentads.pma.reportActivity" as two JSON arguments (the metadata,
// then the request). The default page is "/adnet/static/sdk/native/controller.html"
// on the ad server's static-content host; when it cannot be loaded the
// container loads a blank fallback page, where reports go nowhere.
//
// A report made before the page has loaded waits in the container and runs
// when it has. A metadata or request that cannot be written as JSON sends
// nothing: a publisher log line says which and why.
//
// One process-wide instance (`sharedInstance`, made on first use and never
// destroyed); others can be made for a given page. Any thread.
#include <memory>
#include <string>

#include "adkit/rendering/AKJSContainer.h"
#include "adkit/requests/AKJSONSerializable.h"
#include "platform/foundation/NSObject.h"

class PMACoreController : public NSObject {
public:
    static constexpr const char* kControllerPath = "/adnet/static/sdk/native/controller.html";
    static constexpr const char* kFallbackPage = "<html><head><script></script></head><body></body></html>";
    static constexpr const char* kReportFunction = "adkit.contentads.pma.reportActivity";

    static std::shared_ptr<PMACoreController> sharedInstance();
    // init: the controller page on the static-content host, the blank fallback.
    static std::shared_ptr<PMACoreController> init();
    // initWithURLString:fallbackString: (the fallback written as UTF-8).
    static std::shared_ptr<PMACoreController> initWithURLString(const std::string& URLString,
                                                                const std::string& fallbackString);
    explicit PMACoreController(std::shared_ptr<AKJSContainer> container);

    // Calls the report function with the two objects' JSON; true when the call
    // ran or waits for the page, false when it was refused (and logged).
    bool reportActivityWithMetadata(const AKJSONSerializable& metadata, const AKJSONSerializable& request);
    // The page's answer to the script, evaluated at once (loaded or not).
    std::string stringByEvaluatingJavaScriptFromString(const std::string& script);
    const std::shared_ptr<AKJSContainer>& container() const { return container_; }

private:
    const std::shared_ptr<AKJSContainer> container_;
};
