#pragma once
// The loads running for a view, one per named slot: starting a new load for a
// slot cancels the previous one.
#include <string>
#include <vector>
#include "imagecache/RIWebImageOperation.h"
#include "platform/uikit/UIView.h"

// Cancels what the slot holds, then stores the load (a null load just clears).
void ri_setImageLoadOperation(UIView& view, const RIWebImageOperationPtr& operation, const std::string& key);
// The same for a slot holding several loads (the frames of an animation).
void ri_setImageLoadOperations(UIView& view, const std::vector<RIWebImageOperationPtr>& operations,
                               const std::string& key);
// Cancels every load in the slot and empties it; a missing slot does nothing.
void ri_cancelImageLoadOperationWithKey(UIView& view, const std::string& key);
// Empties the slot without cancelling.
void ri_removeImageLoadOperationWithKey(UIView& view, const std::string& key);
// What the slot holds (empty when nothing).
std::vector<RIWebImageOperationPtr> ri_imageLoadOperationsForKey(const UIView& view, const std::string& key);
