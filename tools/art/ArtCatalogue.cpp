#include "ArtCatalogue.h"

#include <algorithm>
#include <fstream>

#include "ArtDrawings.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UIImage.h"

namespace art {

bool writeFile(const std::string& path, const Data& bytes, std::string* error) {
    std::ofstream stream(path, std::ios::binary | std::ios::trunc);
    stream.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    stream.close();
    if (!stream && error) *error = "cannot write " + path;
    return static_cast<bool>(stream);
}

const std::vector<ArtEntry>& artCatalogue() {
    static const std::vector<ArtEntry> entries = {
        {"movie_thumb", CGSizeMake(100, 150), drawMovieThumb},
        {"tab_movies", CGSizeMake(30, 30), drawTabMovies},
        {"tab_tvshows", CGSizeMake(30, 30), drawTabTVShows},
        {"tab_search", CGSizeMake(30, 30), drawTabSearch},
        {"tab_favorites", CGSizeMake(30, 30), drawTabFavorites},
        {"tab_downloads", CGSizeMake(30, 30), drawTabDownloads},
        {"tab_about", CGSizeMake(30, 30), drawTabAbout},
        {"favorite_normal", CGSizeMake(30, 30), drawFavoriteNormal},
        {"favorite_selected", CGSizeMake(30, 30), drawFavoriteSelected},
    };
    return entries;
}

std::optional<std::vector<RenderedArt>> renderArt(const ArtEntry& entry) {
    std::vector<RenderedArt> out;
    for (int scale : {1, 2}) {
        UIGraphicsBeginImageContextWithOptions(entry.size, false, scale);
        if (!UIGraphicsGetCurrentContext()) {
            UIGraphicsEndImageContext();
            return std::nullopt;
        }
        entry.draw(entry.size);
        auto image = UIGraphicsGetImageFromCurrentImageContext();
        UIGraphicsEndImageContext();
        auto png = UIImagePNGRepresentation(image);
        if (!png) return std::nullopt;
        out.push_back({entry.name + (scale == 2 ? "@2x" : "") + ".png", std::move(*png)});
    }
    return out;
}

bool writeAllArt(const std::string& folder, std::string* error) {
    for (const auto& entry : artCatalogue()) {
        auto rendered = renderArt(entry);
        if (!rendered) {
            if (error) *error = "cannot draw " + entry.name;
            return false;
        }
        for (const auto& file : *rendered)
            if (!writeFile(folder + "/" + file.fileName, file.png, error)) return false;
    }
    return true;
}

std::optional<Data> renderContactSheet() {
    constexpr CGFloat kGap = 10;
    CGFloat width = kGap, height = 0;
    for (const auto& entry : artCatalogue()) {
        width += entry.size.width + kGap;
        height = std::max(height, entry.size.height);
    }
    const CGSize sheetSize = CGSizeMake(width, 2 * height + 3 * kGap);
    UIGraphicsBeginImageContextWithOptions(sheetSize, true, 2);
    if (!UIGraphicsGetCurrentContext()) {
        UIGraphicsEndImageContext();
        return std::nullopt;
    }
    UIColor::colorWithWhite(35.0 / 255, 1)->setFill();
    UIRectFill(CGRectMake(0, 0, sheetSize.width, sheetSize.height));
    CGFloat x = kGap;
    for (const auto& entry : artCatalogue()) {
        // The @2x image on the first row, the 1x image (enlarged) on the second.
        if (auto rendered = renderArt(entry)) {
            UIImageDrawInRect(UIImage::imageWithData(rendered->back().png, 2),
                              CGRectMake(x, kGap, entry.size.width, entry.size.height));
            UIImageDrawInRect(UIImage::imageWithData(rendered->front().png, 1),
                              CGRectMake(x, height + 2 * kGap, entry.size.width, entry.size.height));
        }
        x += entry.size.width + kGap;
    }
    auto sheet = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    return UIImagePNGRepresentation(sheet);
}

}  // namespace art
