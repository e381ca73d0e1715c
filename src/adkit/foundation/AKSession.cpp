#include "adkit/foundation/AKSession.h"

#include "adkit/foundation/AKStringAdditions.h"
#include "platform/foundation/NSUUID.h"

AKSession::AKSession() {
    const auto uuid = NSUUID::UUID();
    const auto& bytes = uuid->bytes();
    const Data digest = ak_MD5Bytes(Data(bytes.begin(), bytes.end()));
    for (int i = 15; i >= 8; --i) sessionID_ = (sessionID_ << 8) | digest[static_cast<std::size_t>(i)];
}
