// The detail page: the title's favourite record in the application's object store.
//
// The context is the application's single one, shared with the download manager,
// whose unsaved records may be pending in it at any time: a failed favourite save
// takes back only the favourite's own insert or delete, never the whole context.
#include "core/AppDelegate.h"
#include "platform/coredata/NSEntityDescription.h"
#include "platform/coredata/NSFetchRequest.h"
#include "platform/coredata/NSPredicate.h"
#include "platform/foundation/NSLog.h"
#include "platform/base/ThreadAssertions.h"
#include "screens/DetailMoviesViewController.h"
#include "screens/ScreenStyle.h"

namespace {
constexpr const char* kFavoriteEntity = "MoviesFavoritiesModel";
}

std::shared_ptr<NSManagedObjectContext> DetailMoviesViewController::favoritesContext() const {
    auto delegate = AppDelegate::shared();
    return delegate ? delegate->managedObjectContext() : nullptr;
}

std::shared_ptr<MoviesFavoritiesModel> DetailMoviesViewController::storedFavorite() const {
    auto context = favoritesContext();
    if (!context || !movieCurrent_) return nullptr;
    auto request = NSFetchRequest::fetchRequestWithEntityName(kFavoriteEntity);
    request->setPredicate(NSPredicate::predicateWithFormat("movieID == %@", {Value(movieCurrent_->movieID())}));
    NSErrorPtr error;  // a failed lookup counts as no record
    auto found = context->executeFetchRequest(request, &error);
    for (const auto& object : found)
        if (auto favorite = std::dynamic_pointer_cast<MoviesFavoritiesModel>(object)) return favorite;
    return nullptr;
}

void DetailMoviesViewController::getMovieFavorities() {
    QV_ASSERT_MAIN_THREAD();
    if (auto stored = storedFavorite()) movieFavorities_ = stored;
    showFavoriteState();
}

void DetailMoviesViewController::showFavoriteState() {
    if (auto button = outlets_.movieFavoritiesButton.lock()) button->setSelected(movieFavorities_ != nullptr);
}

void DetailMoviesViewController::checkFavorities(UIControl*) {
    QV_ASSERT_MAIN_THREAD();
    auto context = favoritesContext();
    if (movieFavorities_)
        removeFavorite();
    else
        addFavorite(context);
    showFavoriteState();
}

void DetailMoviesViewController::addFavorite(const std::shared_ptr<NSManagedObjectContext>& context) {
    // Another page of the same title may have stored it meanwhile: adopt that record.
    if (auto stored = storedFavorite()) {
        movieFavorities_ = stored;
        return;
    }
    auto object = context && movieCurrent_ ? NSEntityDescription::insertNewObjectForEntityForName(kFavoriteEntity, context)
                                           : nullptr;
    auto favorite = std::dynamic_pointer_cast<MoviesFavoritiesModel>(object);
    bool filled = favorite && favorite->setMovieID(Value(movieCurrent_->movieID())) &&
                  favorite->setMovieRating(Value(movieCurrent_->movieRating())) &&
                  favorite->setMovieYear(Value(movieCurrent_->movieYear()));
    if (favorite) {
        favorite->setTitle(movieCurrent_->title());
        favorite->setMoviesPoster(movieCurrent_->moviesPoster());
    }
    NSErrorPtr error;
    if (filled && context->save(&error)) {
        movieFavorities_ = favorite;
        return;
    }
    if (error) NSLog("The favourite could not be stored: %@", error->localizedDescription());
    // Only this insert is taken back; whatever else is pending stays for its owner's save.
    if (object && object->isInserted()) context->deleteObject(object);
    showFailureAlert(kAddFavoriteFailed);
}

void DetailMoviesViewController::removeFavorite() {
    auto context = movieFavorities_->managedObjectContext();
    if (!context) {
        // The record was removed already (by another page of the same title).
        movieFavorities_ = nullptr;
        return;
    }
    context->deleteObject(movieFavorities_);
    NSErrorPtr error;
    if (context->save(&error)) {
        movieFavorities_ = nullptr;
        return;
    }
    NSLog("The favourite could not be removed: %@", error ? error->localizedDescription() : std::string());
    // Inserting a deleted object takes back its deletion, and nothing else.
    if (movieFavorities_->isDeleted()) context->insertObject(movieFavorities_);
    showFailureAlert(kRemoveFavoriteFailed);
}
