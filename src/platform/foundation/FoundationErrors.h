#pragma once
// Error codes of the Cocoa error domain for file operations.

inline constexpr long NSFileNoSuchFileError = 4;
inline constexpr long NSFileReadUnknownError = 256;
inline constexpr long NSFileReadNoPermissionError = 257;
inline constexpr long NSFileReadInvalidFileNameError = 258;
inline constexpr long NSFileReadCorruptFileError = 259;
inline constexpr long NSFileReadNoSuchFileError = 260;
inline constexpr long NSFileWriteUnknownError = 512;
inline constexpr long NSFileWriteNoPermissionError = 513;
inline constexpr long NSFileWriteInvalidFileNameError = 514;
inline constexpr long NSFileWriteFileExistsError = 516;
inline constexpr long NSFileWriteOutOfSpaceError = 640;
inline constexpr long NSFileWriteVolumeReadOnlyError = 642;
