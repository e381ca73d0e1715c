#pragma once
// Orientation codes of full-screen ads, as ads name them and the opener takes
// them: 1 any, 2 portrait, 3 landscape.
#include <cstdint>

enum AKSupportedOrientations : std::int64_t {
    AKSupportedOrientationsAny = 1,
    AKSupportedOrientationsPortrait = 2,
    AKSupportedOrientationsLandscape = 3,
};
