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

#include <vector>

// Typed text one character (UTF-8 sequence) at a time, as keys arrive.
inline std::vector<std::string> UIKeyInputCharacters(const std::string& text) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t n = 1;
        while (i + n < text.size() && (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80) ++n;
        out.push_back(text.substr(i, n));
        i += n;
    }
    return out;
}

// Removes the last character (a whole UTF-8 sequence); false when empty.
inline bool UIKeyInputDeleteLastCharacter(std::string& text) {
    if (text.empty()) return false;
    std::size_t i = text.size() - 1;
    while (i > 0 && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) --i;
    text.erase(i);
    return true;
}
