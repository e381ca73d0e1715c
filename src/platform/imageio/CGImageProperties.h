#pragma once
// Names of image properties, type identifiers, statuses and errors of image I/O.

// Type identifiers of the formats read (TIFF is recognised but not decoded).
inline constexpr const char* kUTTypePNG = "public.png";
inline constexpr const char* kUTTypeJPEG = "public.jpeg";
inline constexpr const char* kUTTypeGIF = "com.compuserve.gif";
inline constexpr const char* kUTTypeTIFF = "public.tiff";
inline constexpr const char* kUTTypeWebP = "org.webmproject.webp";

// Properties of one image (CGImageSourceCopyPropertiesAtIndex).
inline constexpr const char* kCGImagePropertyPixelWidth = "PixelWidth";
inline constexpr const char* kCGImagePropertyPixelHeight = "PixelHeight";
inline constexpr const char* kCGImagePropertyDepth = "Depth";  // bits per component in the file
inline constexpr const char* kCGImagePropertyHasAlpha = "HasAlpha";
inline constexpr const char* kCGImagePropertyColorModel = "ColorModel";
inline constexpr const char* kCGImagePropertyColorModelRGB = "RGB";
inline constexpr const char* kCGImagePropertyColorModelGray = "Gray";
inline constexpr const char* kCGImagePropertyColorModelCMYK = "CMYK";
// EXIF orientation 1-8, present only when the file names one.
inline constexpr const char* kCGImagePropertyOrientation = "Orientation";
inline constexpr const char* kCGImagePropertyTIFFDictionary = "{TIFF}";
inline constexpr const char* kCGImagePropertyTIFFOrientation = "Orientation";
inline constexpr const char* kCGImagePropertyPNGDictionary = "{PNG}";
inline constexpr const char* kCGImagePropertyPNGInterlaceType = "InterlaceType";
inline constexpr const char* kCGImagePropertyJFIFDictionary = "{JFIF}";
inline constexpr const char* kCGImagePropertyJFIFIsProgressive = "IsProgressive";
// WebP animations: each frame's delays as for GIF below; the loop count of the
// whole file.
inline constexpr const char* kCGImagePropertyWebPDictionary = "{WebP}";
inline constexpr const char* kCGImagePropertyWebPDelayTime = "DelayTime";
inline constexpr const char* kCGImagePropertyWebPUnclampedDelayTime = "UnclampedDelayTime";
inline constexpr const char* kCGImagePropertyWebPLoopCount = "LoopCount";
// GIF frames: the dictionary holds the delays (seconds) when the frame has a
// graphic control block. UnclampedDelayTime is the file's value; DelayTime is
// raised to 0.1 when the file's value is below 0.05 (as viewers play them).
inline constexpr const char* kCGImagePropertyGIFDictionary = "{GIF}";
inline constexpr const char* kCGImagePropertyGIFDelayTime = "DelayTime";
inline constexpr const char* kCGImagePropertyGIFUnclampedDelayTime = "UnclampedDelayTime";
// Of the whole file (CGImageSourceCopyProperties): the loop count, when given.
inline constexpr const char* kCGImagePropertyGIFLoopCount = "LoopCount";
inline constexpr const char* kCGImagePropertyFileSize = "FileSize";

// Options of image destinations (CGImageDestinationAddImage): quality 0...1 of
// JPEG encoding (default 0.75); the orientation is written as EXIF into JPEG.
inline constexpr const char* kCGImageDestinationLossyCompressionQuality = "kCGImageDestinationLossyCompressionQuality";

enum CGImageSourceStatus : int {
    kCGImageStatusUnexpectedEOF = -5,
    kCGImageStatusInvalidData = -4,
    kCGImageStatusUnknownType = -3,
    kCGImageStatusReadingHeader = -2,
    kCGImageStatusIncomplete = -1,
    kCGImageStatusComplete = 0,
};

// Errors of image sources and destinations; the code is the matching status
// (or kCGImageStatusInvalidData for encoding failures).
inline constexpr const char* kCGImageErrorDomain = "CGImageErrorDomain";
