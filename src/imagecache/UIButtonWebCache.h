#pragma once
// Remote images in buttons, per control state: the image (whose URL is
// recorded per state) and the background image.
#include "imagecache/UIImageViewWebCache.h"
#include "platform/uikit/UIButton.h"

using UIButtonPtr = std::shared_ptr<UIButton>;

// The slot names of a state's loads.
std::string RIButtonImageOperationKey(UIControlState state);
std::string RIButtonBackgroundImageOperationKey(UIControlState state);

void ri_setImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                        const UIImagePtr& placeholder, RIWebImageOptions options, RIWebImageCompletionBlock completed);
void ri_setImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state);
void ri_setImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                        const UIImagePtr& placeholder);
void ri_setImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                        const UIImagePtr& placeholder, RIWebImageOptions options);
void ri_setImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                        RIWebImageCompletionBlock completed);
void ri_setImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                        const UIImagePtr& placeholder, RIWebImageCompletionBlock completed);

void ri_setBackgroundImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                                  const UIImagePtr& placeholder, RIWebImageOptions options,
                                  RIWebImageCompletionBlock completed);
void ri_setBackgroundImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state);
void ri_setBackgroundImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                                  const UIImagePtr& placeholder);
void ri_setBackgroundImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                                  const UIImagePtr& placeholder, RIWebImageOptions options);
void ri_setBackgroundImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                                  RIWebImageCompletionBlock completed);
void ri_setBackgroundImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                                  const UIImagePtr& placeholder, RIWebImageCompletionBlock completed);

// The URL of the current state's image, else of the normal state's.
NSURLPtr ri_currentImageURL(const UIButton& button);
NSURLPtr ri_imageURLForState(const UIButton& button, UIControlState state);

void ri_setImageLoadOperation(UIButton& button, const RIWebImageOperationPtr& operation, UIControlState state);
void ri_cancelImageLoadForState(UIButton& button, UIControlState state);
void ri_setBackgroundImageLoadOperation(UIButton& button, const RIWebImageOperationPtr& operation,
                                        UIControlState state);
void ri_cancelBackgroundImageLoadForState(UIButton& button, UIControlState state);

// Older names.
NSURLPtr currentImageURL(const UIButton& button);
NSURLPtr imageURLForState(const UIButton& button, UIControlState state);
void setImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state);
void setImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                     const UIImagePtr& placeholder);
void setImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                     const UIImagePtr& placeholder, RIWebImageOptions options);
void setImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                     RIWebImageCompletedBlock completed);
void setImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                     const UIImagePtr& placeholder, RIWebImageCompletedBlock completed);
void setImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                     const UIImagePtr& placeholder, RIWebImageOptions options, RIWebImageCompletedBlock completed);
void setBackgroundImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state);
void setBackgroundImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                               const UIImagePtr& placeholder);
void setBackgroundImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                               const UIImagePtr& placeholder, RIWebImageOptions options);
void setBackgroundImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                               RIWebImageCompletedBlock completed);
void setBackgroundImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                               const UIImagePtr& placeholder, RIWebImageCompletedBlock completed);
void setBackgroundImageWithURL(const UIButtonPtr& button, const NSURLPtr& url, UIControlState state,
                               const UIImagePtr& placeholder, RIWebImageOptions options,
                               RIWebImageCompletedBlock completed);
void cancelCurrentImageLoad(UIButton& button);
void cancelBackgroundImageLoadForState(UIButton& button, UIControlState state);
