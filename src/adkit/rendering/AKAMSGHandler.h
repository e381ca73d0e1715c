#pragma once
// The base of the page-message handlers. Each handler class has a fixed table
// from message name to one of its member functions taking the handler
// arguments, built once per process; handleRequest dispatches one request
// through it. The table is typed, so a mapped method always takes exactly the
// one argument. Main thread only.
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "adkit/rendering/AKNotification.h"
#include "platform/foundation/NSObject.h"
#include "platform/net/NSURLRequest.h"

class AKWebView;

// The handler arguments: the web view that sent the message ("webView") and
// the message ("note"); either may be absent.
struct AKAMSGHandlerArguments {
    std::shared_ptr<AKWebView> webView;
    AKNotificationPtr note;

    // The message's parameters (none without a message) and one of them.
    const AKNotification::Parameters& parameters() const;
    std::optional<std::string> parameter(const std::string& key) const;
};

class AKAMSGHandler : public NSObject {
public:
    using Action = std::function<void(AKAMSGHandler& handler, const AKAMSGHandlerArguments& arguments)>;
    using ActionSelectorDictionary = std::map<std::string, Action>;

    // initWithActionSelectorDictionary:
    explicit AKAMSGHandler(std::shared_ptr<const ActionSelectorDictionary> actionSelectors);

    // Dispatches one request: true when a mapped method was called.
    bool handleRequest(const std::shared_ptr<NSURLRequest>& request, const std::shared_ptr<AKWebView>& webView);
    // Calls the table entry for a name (the sub-tables of "open" and "mraid"
    // use the same rule); true when there was one.
    static bool dispatch(AKAMSGHandler& handler, const ActionSelectorDictionary& table, const std::string& name,
                         const AKAMSGHandlerArguments& arguments);

    const std::shared_ptr<const ActionSelectorDictionary>& actionSelectors() const { return actionSelectors_; }
    void setActionSelectors(std::shared_ptr<const ActionSelectorDictionary> table) {
        actionSelectors_ = std::move(table);
    }

    // A table for a handler class, to keep in a ProcessLifetime holder so it is
    // built once per process:
    //   static ProcessLifetime<std::shared_ptr<const ActionSelectorDictionary>> table(
    //       makeActionTable({{"name", action<H, &H::method>()}}));
    static std::shared_ptr<const ActionSelectorDictionary> makeActionTable(ActionSelectorDictionary entries) {
        return std::make_shared<const ActionSelectorDictionary>(std::move(entries));
    }

    // An entry calling a member function of the handler class H.
    template <class H, void (H::*Method)(const AKAMSGHandlerArguments&)>
    static Action action() {
        return [](AKAMSGHandler& handler, const AKAMSGHandlerArguments& arguments) {
            (static_cast<H&>(handler).*Method)(arguments);
        };
    }

private:
    std::shared_ptr<const ActionSelectorDictionary> actionSelectors_;
};
