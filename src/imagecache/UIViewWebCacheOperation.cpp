#include "imagecache/UIViewWebCacheOperation.h"

#include <map>

namespace {

const char kOperationDictionaryKey = 0;

struct OperationDictionary {
    std::map<std::string, std::vector<RIWebImageOperationPtr>> slots;
};

std::shared_ptr<OperationDictionary> operationDictionary(UIView& view) {
    auto dictionary = view.associated<OperationDictionary>(&kOperationDictionaryKey);
    if (!dictionary) {
        dictionary = std::make_shared<OperationDictionary>();
        view.setAssociatedObject(&kOperationDictionaryKey, dictionary);
    }
    return dictionary;
}

}  // namespace

void ri_setImageLoadOperation(UIView& view, const RIWebImageOperationPtr& operation, const std::string& key) {
    ri_cancelImageLoadOperationWithKey(view, key);
    if (operation) operationDictionary(view)->slots[key] = {operation};
}

void ri_setImageLoadOperations(UIView& view, const std::vector<RIWebImageOperationPtr>& operations,
                               const std::string& key) {
    ri_cancelImageLoadOperationWithKey(view, key);
    operationDictionary(view)->slots[key] = operations;
}

void ri_cancelImageLoadOperationWithKey(UIView& view, const std::string& key) {
    auto dictionary = operationDictionary(view);
    auto it = dictionary->slots.find(key);
    if (it == dictionary->slots.end()) return;
    auto operations = std::move(it->second);
    dictionary->slots.erase(it);
    for (const auto& operation : operations)
        if (operation) operation->cancel();
}

void ri_removeImageLoadOperationWithKey(UIView& view, const std::string& key) {
    operationDictionary(view)->slots.erase(key);
}

std::vector<RIWebImageOperationPtr> ri_imageLoadOperationsForKey(const UIView& view, const std::string& key) {
    auto dictionary = view.associated<OperationDictionary>(&kOperationDictionaryKey);
    if (!dictionary) return {};
    auto it = dictionary->slots.find(key);
    return it == dictionary->slots.end() ? std::vector<RIWebImageOperationPtr>{} : it->second;
}
