#pragma once
// Declarations of the image I/O classes for headers that only pass them around.
#include <memory>

class CGImageSource;
class CGImageDestination;
using CGImageSourceRef = std::shared_ptr<CGImageSource>;
using CGImageDestinationRef = std::shared_ptr<CGImageDestination>;
