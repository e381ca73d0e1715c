#include "core/FDFileDownloaderCustom.h"

std::optional<std::string> getDownloadURL(const std::shared_ptr<FDFileDownloader>& download) {
    if (!download || !download->downloadURL()) return std::nullopt;
    return download->downloadURL()->absoluteString();
}
