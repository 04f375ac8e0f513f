// The one test the job uses everywhere for "is this value there at all".
#pragma once

#include <string_view>

// True when text sorts after a single space, comparing bytes as unsigned
// values. So "", " " and anything starting with a control character are
// absent, while " x" and every UTF-8 text starting with a letter are present.
// Nothing is trimmed or case-folded first.
bool IsPresent(std::string_view text);
