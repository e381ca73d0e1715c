#pragma once
// A search-ads request: a query and the look of the search ads (colours, font,
// header size, border, call button, custom channels). It loads nothing itself;
// `request()` turns it into an ordinary AKRequest whose additional parameters
// carry the settings, for a banner to load:
//
// | property             | key               | sent                                   |
// |----------------------|-------------------|----------------------------------------|
// | query                | "q"               | as is, when set                        |
// | backgroundColor      | "bgcolor"         | hex colour, when set                   |
// | gradientFrom / To    | "gradientfrom/to" | hex colour, when set                   |
// | headerColor          | "hcolor"          | hex colour, when set                   |
// | descriptionTextColor | "dcolor"          | hex colour, when set                   |
// | anchorTextColor      | "acolor"          | hex colour, when set                   |
// | fontFamily           | "font"            | as is, when set                        |
// | headerTextSize       | "headersize"      | decimal, always                        |
// | borderColor          | "bcolor"          | hex colour, when set                   |
// | borderType           | "btype"           | "none" "dashed" "dotted" "solid" (0-3) |
// | borderThickness      | "bthick"          | decimal, always                        |
// | customChannels       | "channel"         | as is, when set                        |
// | callButtonColor      | "callbuttoncolor" | "light" "medium" "dark" (0-2)          |
//
// A hex colour is "#rrggbb" of the colour's RGB components (a grey's one
// component for all three), each clamped to 0...1 (NaN as 0) and scaled by 255
// toward zero; a colour of another model (a pattern) sends no entry, nor does
// an out-of-table border type or call button colour.
//
// Allocation is a class cluster: `create()` always makes an
// AKSearchRequestPrivate, the kind that implements the two background setters
// (the base's versions do nothing). Not thread-safe: one thread at a time.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "adkit/requests/AKRequest.h"
#include "platform/foundation/NSObject.h"
#include "platform/uikit/UIColor.h"

class AKSearchRequest : public NSObject {
public:
    // An AKSearchRequestPrivate.
    static std::shared_ptr<AKSearchRequest> create();

    std::optional<std::string> query;
    UIColorPtr backgroundColor;
    UIColorPtr gradientFrom;
    UIColorPtr gradientTo;
    UIColorPtr headerColor;
    UIColorPtr descriptionTextColor;
    UIColorPtr anchorTextColor;
    std::optional<std::string> fontFamily;
    std::uint64_t headerTextSize = 0;
    UIColorPtr borderColor;
    std::uint64_t borderType = 0;
    std::uint64_t borderThickness = 0;
    std::optional<std::string> customChannels;
    std::uint64_t callButtonColor = 0;

    // Background: a solid colour (clearing the gradient), or a gradient of two
    // colours (clearing the solid one; nothing changes unless both are given).
    virtual void setBackgroundSolid(const UIColorPtr& color);
    virtual void setBackgroundGradientFrom(const UIColorPtr& from, const UIColorPtr& toColor);

    // A new AKRequest carrying the parameters of the table above.
    std::shared_ptr<AKRequest> request() const;
    // The parameter dictionary that request carries.
    Value parameters() const;

    // "#rrggbb", or nullopt for a null colour or one of another colour model.
    static std::optional<std::string> hexStringFromColor(const UIColorPtr& color);
    // The value tables; "" outside them.
    static std::string getBorderTypeString(std::uint64_t type);
    static std::string getCallButtonTypeString(std::uint64_t type);

protected:
    AKSearchRequest() = default;
};

class AKSearchRequestPrivate final : public AKSearchRequest {
public:
    void setBackgroundSolid(const UIColorPtr& color) override;
    void setBackgroundGradientFrom(const UIColorPtr& from, const UIColorPtr& toColor) override;

private:
    friend class AKSearchRequest;
    AKSearchRequestPrivate() = default;
};
