#include "adkit/rendering/AKAMSGHandler.h"

#include "platform/base/ThreadAssertions.h"

const AKNotification::Parameters& AKAMSGHandlerArguments::parameters() const {
    static const AKNotification::Parameters none;
    return note ? note->parameters() : none;
}

std::optional<std::string> AKAMSGHandlerArguments::parameter(const std::string& key) const {
    return note ? note->parameter(key) : std::nullopt;
}

AKAMSGHandler::AKAMSGHandler(std::shared_ptr<const ActionSelectorDictionary> actionSelectors)
    : actionSelectors_(std::move(actionSelectors)) {}

bool AKAMSGHandler::handleRequest(const std::shared_ptr<NSURLRequest>& request,
                                  const std::shared_ptr<AKWebView>& webView) {
    QV_ASSERT_MAIN_THREAD();
    if (!request || request->URL().empty()) return false;
    const std::string& URL = request->URL();
    if (!AKNotification::isNotificationURL(URL)) return false;
    AKAMSGHandlerArguments arguments{webView, AKNotification::initWithNotificationURL(URL)};
    if (!arguments.note || !actionSelectors_) return false;
    return dispatch(*this, *actionSelectors_, arguments.note->name(), arguments);
}

bool AKAMSGHandler::dispatch(AKAMSGHandler& handler, const ActionSelectorDictionary& table, const std::string& name,
                             const AKAMSGHandlerArguments& arguments) {
    const auto entry = table.find(name);
    if (entry == table.end() || !entry->second) return false;
    entry->second(handler, arguments);
    return true;
}
