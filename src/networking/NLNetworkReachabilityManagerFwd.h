#pragma once
// The reachability manager as the HTTP managers see it: a class they hold and
// never start. Its own header (NLNetworkReachabilityManager.h) defines it; until
// that header's class installs its shared instance here, the managers hold none.
//
// The reachability manager calls NLSetSharedNetworkReachabilityManagerProvider
// once at start-up with its sharedManager; every manager made afterwards holds
// that instance. Any thread may ask.
#include <functional>
#include <memory>

class NLNetworkReachabilityManager;

using NLNetworkReachabilityManagerProvider = std::function<std::shared_ptr<NLNetworkReachabilityManager>()>;

void NLSetSharedNetworkReachabilityManagerProvider(NLNetworkReachabilityManagerProvider provider);
// The shared reachability manager, or null while no provider is installed.
std::shared_ptr<NLNetworkReachabilityManager> NLSharedNetworkReachabilityManager();
