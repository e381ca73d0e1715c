#pragma once
// What a text input takes from the keyboard: typed text (a line break for
// Return) and deleteBackward for Backspace. A first responder that is a key
// input brings the keyboard up (UIFirstResponder.h); the device screen sends
// typed keys to it.
#include <string>

class UIKeyInput {
public:
    virtual ~UIKeyInput() = default;
    virtual void insertText(const std::string& text) = 0;
    virtual void deleteBackward() = 0;
    virtual bool hasText() const = 0;
};
