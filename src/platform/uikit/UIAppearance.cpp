#include "platform/uikit/UIAppearance.h"

#include <vector>

namespace {
struct Record {
    std::type_index type;
    std::string property;
    std::any value;
    std::function<bool(NSObject&, const std::any&)> apply;
};
std::vector<Record>& records() {
    static auto* list = new std::vector<Record>();
    return *list;
}
}  // namespace

void appearance_detail::record(std::type_index type, const std::string& property, std::any value,
                               std::function<bool(NSObject&, const std::any&)> apply) {
    auto& list = records();
    std::erase_if(list, [&](const Record& r) { return r.type == type && r.property == property; });
    list.push_back({type, property, std::move(value), std::move(apply)});
}

std::optional<std::any> appearance_detail::value(std::type_index type, const std::string& property) {
    for (auto& r : records())
        if (r.type == type && r.property == property) return r.value;
    return std::nullopt;
}

void UIAppearanceApply(NSObject& object) {
    auto list = records();  // an applied setter may record more
    for (auto& r : list) r.apply(object, r.value);
}

void UIAppearanceReset() { records().clear(); }
