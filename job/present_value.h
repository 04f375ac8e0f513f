// The one test the job uses everywhere for "is this value there at all".
#pragma once

#include <string_view>

// True when text sorts after a single space, comparing bytes as unsigned
// values (char_traits<char> does), so that UTF-8 lead bytes sort above the
// space. So "", " " and anything starting with a control character are
// absent, while " x" and every UTF-8 text starting with a letter are present.
// Nothing is trimmed or case-folded first.
inline bool IsPresent(std::string_view text) { return text > std::string_view(" "); }
