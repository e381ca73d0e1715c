#include "platform/foundation/NSException.h"

NSException::NSException(std::string name, std::string reason, Value userInfo)
    : name_(std::move(name)), reason_(std::move(reason)), what_(name_ + ": " + reason_), userInfo_(std::move(userInfo)) {}

void NSException::raise(const std::string& name, const std::string& reason) { throw NSException(name, reason); }
