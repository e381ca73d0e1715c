#pragma once
// The cancellable handle of every image load.
#include <memory>

class RIWebImageOperation {
public:
    virtual ~RIWebImageOperation() = default;
    virtual void cancel() = 0;
};

using RIWebImageOperationPtr = std::shared_ptr<RIWebImageOperation>;
