#pragma once
// The application's extension of the file downloader: its download key.
#include <memory>
#include <optional>
#include <string>

#include "networking/FDFileDownloader.h"

// The downloader's URL as an absolute string; none when it has no URL.
std::optional<std::string> getDownloadURL(const std::shared_ptr<FDFileDownloader>& download);
