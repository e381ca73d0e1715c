#pragma once
// The drawings of the shipped images; each draws into the current UIKit image
// context, whose size in points it is given.
#include "platform/graphics/CGGeometry.h"

namespace art {

// The poster placeholder: a dark frame of film with sprocket holes and a reel.
void drawMovieThumb(CGSize size);

// Tab icons: white glyphs on clear, used by their alpha as the bar tints them.
void drawTabMovies(CGSize size);
void drawTabTVShows(CGSize size);
void drawTabSearch(CGSize size);
void drawTabFavorites(CGSize size);
void drawTabDownloads(CGSize size);
void drawTabAbout(CGSize size);

// The favourite button: a heart outline (normal) and a filled heart (selected).
void drawFavoriteNormal(CGSize size);
void drawFavoriteSelected(CGSize size);

}  // namespace art
