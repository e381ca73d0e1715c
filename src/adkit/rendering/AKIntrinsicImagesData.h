#pragma once
// The built-in button images as RFC 4648 Base64 text of 8-bit RGBA PNGs, at
// screen density 1 and at other densities ("2x": twice the pixels). Written by
// tools/intrinsic-images, which draws them; the build's tests check that the
// committed text is what the drawings give.

extern const char* const kAKBrowserBackButtonPNG;       // 27 x 27
extern const char* const kAKBrowserBackButton2xPNG;     // 54 x 54
extern const char* const kAKBrowserForwardButtonPNG;    // 27 x 27
extern const char* const kAKBrowserForwardButton2xPNG;  // 54 x 54
extern const char* const kAKCloseButtonPNG;             // 25 x 25
extern const char* const kAKCloseButton2xPNG;           // 50 x 50
