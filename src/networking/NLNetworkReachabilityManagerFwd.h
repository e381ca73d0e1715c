#pragma once
// The reachability manager as the HTTP managers see it: a class they hold and
// never start. Its own header (NLNetworkReachabilityManager.h) defines it.
//
// Without a provider the managers hold NLNetworkReachabilityManager's
// sharedManager (0.0.0.0). A provider installed with
// NLSetSharedNetworkReachabilityManagerProvider (null goes back to the shared
// manager) gives the instance every manager made afterwards holds. Any thread
// may ask.
#include <functional>
#include <memory>

class NLNetworkReachabilityManager;

using NLNetworkReachabilityManagerProvider = std::function<std::shared_ptr<NLNetworkReachabilityManager>()>;

void NLSetSharedNetworkReachabilityManagerProvider(NLNetworkReachabilityManagerProvider provider);
// The provider's manager, or the shared manager when none is installed.
std::shared_ptr<NLNetworkReachabilityManager> NLSharedNetworkReachabilityManager();
