// Mediation installs itself when the program starts: linking the ad library
// pulls this file in (the link asks for quorvane_adkit_mediation_installed),
// and its static initialiser installs the mediation configuration, the glue,
// the library's adapters and the list of available adapters before any slot
// exists. The list itself is computed at its first use, so adapter classes an
// application registers from its own start-up code are found as well.
#include "adkit/mediation/AKMAdapterAdKitAdNetAds.h"
#include "adkit/mediation/AKMAdapterCustomEvents.h"
#include "adkit/mediation/AKMAdapterHTML.h"
#include "adkit/mediation/AKMToAKGlue.h"

#include <mutex>

void AKMediationInstall() {
    static std::once_flag once;
    std::call_once(once, [] {
        AKMMediationConfig::installFactory();
        AKMToAKGlue::setFactory([] { return std::static_pointer_cast<AKMToAKGlue>(AKMWaterfallGlue::make()); });
        AKMAdapterAdKitAdNetAdsRegister();
        AKMAdapterCustomEventsRegister();
        AKMAdapterHTMLRegister();
        AKMAdNetworkAdapter::installAvailableAdapterNamesProvider();
    });
}

extern "C" {
// Referenced by the link of every program that uses the ad library.
extern const int quorvane_adkit_mediation_installed;
const int quorvane_adkit_mediation_installed = (AKMediationInstall(), 1);
}
