#include "platform/uikit/UIStoryboardSegue.h"

#include "platform/uikit/UIViewController.h"

UIStoryboardSegue::UIStoryboardSegue(std::string identifier, std::shared_ptr<UIViewController> source,
                                     std::shared_ptr<UIViewController> destination)
    : identifier_(std::move(identifier)), source_(std::move(source)), destination_(std::move(destination)) {}

UIStoryboardSegue::~UIStoryboardSegue() = default;
