// Turning the bytes of a settings file into UTF-8 text, and cutting UTF-8
// text to a number of characters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The file's text as UTF-8. A UTF-8 byte order mark is dropped. Files saved
// by older Windows editors are in the Central European code page 1250
// rather than UTF-8; any file that is not valid UTF-8 is read as such, so
// its Slovenian letters survive. The result is always valid UTF-8.
std::string DecodeSettingsText(std::string_view bytes);

// The first maxChars characters (code points) of valid UTF-8 text; never
// splits a multi-byte character.
std::string_view FirstCharacters(std::string_view text, std::size_t maxChars);
