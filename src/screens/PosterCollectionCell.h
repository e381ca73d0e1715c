#pragma once
// What the two grid cells (MovieCollectionCell, MovieSearchCollectionCell)
// share: the poster filling the cell above a title strip of up to two white
// lines, both outlets held weakly (the content view owns them) and named
// "moviePoster" and "movieTitle", nothing shown until a screen fills them.
// The subviews follow the cell's size (autoresizing): the poster takes the
// width and every point of height but the strip's, the strip keeps its height
// at the bottom. Each cell comes from an interface file of its own.
// Main thread only.
#include <memory>
#include <string>

#include "platform/uikit/UICollectionViewCell.h"
#include "platform/uikit/UINib.h"

class UIImageView;
class UILabel;

class PosterCollectionCell : public UICollectionViewCell {
public:
    // The size the interface files give their cells (the grids resize them).
    static constexpr CGFloat kDesignWidth = 100;
    static constexpr CGFloat kDesignHeight = 181;
    // The height of the title strip under the poster.
    static constexpr CGFloat kTitleHeight = 30;

    using UICollectionViewCell::UICollectionViewCell;

    std::shared_ptr<UILabel> movieTitle() const { return movieTitle_.lock(); }
    void setMovieTitle(const std::shared_ptr<UILabel>& label) { movieTitle_ = label; }
    std::shared_ptr<UIImageView> moviePoster() const { return moviePoster_.lock(); }
    void setMoviePoster(const std::shared_ptr<UIImageView>& imageView) { moviePoster_ = imageView; }

    // Nothing to prepare: the file built everything.
    void awakeFromNib() override {}

protected:
    // Registers the interface file `name`, which makes a Cell at the design
    // size with its poster and title.
    template <class Cell>
    static void registerInterfaceFileOf(const std::string& name) {
        UINib::registerNibFactory(name, [](const std::shared_ptr<NSObject>&) {
            auto cell = std::make_shared<Cell>(CGRectMake(0, 0, kDesignWidth, kDesignHeight));
            cell->addPosterAndTitle();
            return UINib::Objects{cell};
        });
    }

private:
    void addPosterAndTitle();

    std::weak_ptr<UILabel> movieTitle_;
    std::weak_ptr<UIImageView> moviePoster_;
};
