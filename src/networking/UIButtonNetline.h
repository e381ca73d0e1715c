#pragma once
// Remote images and background images for buttons, per control state, through
// HTTP request operations. Slots: highlighted (1), disabled (2) and selected
// (4) have their own; normal (0) and every other state value share one.
//
// A load first cancels its slot's operation. A cached image is set (or handed
// to success) at once; the image forms look in the buttons' cache (the image
// views' cache until one is set). Otherwise the placeholder shows for the
// state and the operation runs on the buttons' shared queue. Its completion
// acts only while the slot still holds it: success sets the image for the
// state (or calls success), failure calls failure with the error, also when
// there was no response (connection refused, timed out). Image loads store
// what they got in the cache whatever became of the slot; background loads
// store nothing. The button is held weakly. Main thread.
#include <functional>
#include <memory>

#include "networking/NLHTTPRequestOperation.h"
#include "networking/NLImageCache.h"
#include "networking/UIImageViewNetline.h"
#include "platform/uikit/UIButton.h"

using NLButtonFailureBlock = std::function<void(const NSErrorPtr& error)>;

std::shared_ptr<NLImageCache> nl_buttonSharedImageCache();
void nl_setButtonSharedImageCache(std::shared_ptr<NLImageCache> cache);
std::shared_ptr<NSOperationQueue> nl_buttonSharedImageRequestOperationQueue();

std::shared_ptr<NLHTTPResponseSerializer> nl_imageResponseSerializer(const UIButton& button);
void nl_setImageResponseSerializer(UIButton& button, std::shared_ptr<NLHTTPResponseSerializer> serializer);

void nl_setImageForState(const std::shared_ptr<UIButton>& button, UIControlState state, const std::string& url,
                         const UIImagePtr& placeholder = nullptr);
void nl_setImageForState(const std::shared_ptr<UIButton>& button, UIControlState state,
                         const std::shared_ptr<NSURLRequest>& request, const UIImagePtr& placeholder,
                         NLImageSuccessBlock success, NLButtonFailureBlock failure);
void nl_setBackgroundImageForState(const std::shared_ptr<UIButton>& button, UIControlState state,
                                   const std::string& url, const UIImagePtr& placeholder = nullptr);
void nl_setBackgroundImageForState(const std::shared_ptr<UIButton>& button, UIControlState state,
                                   const std::shared_ptr<NSURLRequest>& request, const UIImagePtr& placeholder,
                                   NLImageSuccessBlock success, NLButtonFailureBlock failure);
void nl_cancelImageRequestOperationForState(UIButton& button, UIControlState state);
void nl_cancelBackgroundImageRequestOperationForState(UIButton& button, UIControlState state);
std::shared_ptr<NLHTTPRequestOperation> nl_imageRequestOperationForState(const UIButton& button, UIControlState state);
std::shared_ptr<NLHTTPRequestOperation> nl_backgroundImageRequestOperationForState(const UIButton& button,
                                                                                   UIControlState state);
