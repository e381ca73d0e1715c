#pragma once
// The measurement page's answers to Viewability reports, in every web-view
// delegate's handler list:
//   "visibilityChanged"       the web view's viewabilityVisibility becomes YES
//                             exactly when "isVisible" is "1" ("true" is NO);
//                             then its viewabilityObserver is told;
//   "untrackViewabilityUnit"  the web view's viewabilityUnloadPingReceived becomes YES.
// A message without a web view does nothing. Main thread only.
#include <memory>

#include "adkit/rendering/AKAMSGHandler.h"

class AKViewabilityAMSGHandler : public AKAMSGHandler {
public:
    AKViewabilityAMSGHandler();
    static std::shared_ptr<const ActionSelectorDictionary> actionSelectorDictionary();

    void didReceiveViewabilityUntrackViewabilityNotification(const AKAMSGHandlerArguments& arguments);
    void didReceiveViewabilityVisibilityChangedNotification(const AKAMSGHandlerArguments& arguments);
};
