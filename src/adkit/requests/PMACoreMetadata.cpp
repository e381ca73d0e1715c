#include "adkit/requests/PMACoreMetadata.h"

#include "adkit/foundation/AKDevice.h"
#include "adkit/requests/AKRequest.h"

Value PMACoreMetadata::SDKVersion() {
    return Value({{"major", AKRequest::kSDKVersionMajor},
                  {"minor", AKRequest::kSDKVersionMinor},
                  {"patch", AKRequest::kSDKVersionPatch}});
}

std::optional<std::string> PMACoreMetadata::JSONStringValue(std::string* failure) const {
    Value object = Value::dictionary();
    const Value device = AKDevice::currentDevice()->parameters();
    if (!device.isNull()) object.setObject("ak_device", device);
    object.setObject("sdk_version", SDKVersion());
    return object.toJSON(false, failure);
}
