// Finding one value in the text of a settings file, with the syntax that
// the settings files of this program have always been written in.
#pragma once

#include <string>
#include <string_view>

// The value of key in section of the decoded file text, "" when there is
// none. Section and key names match regardless of ASCII letter case and of
// blanks around them; only the first section of a name is searched and the
// first matching key in it wins. Lines whose first non-blank character is
// ";" are comments. The value loses its surrounding blanks and then one pair
// of matching quotes around all of it; a ";" inside it is part of it.
std::string FindIniValue(std::string_view text, std::string_view section, std::string_view key);

// The same in two steps, for a reader that looks up many keys of a section.
// The lines of the first section named `section`, from after its "[name]"
// line to the next section's; empty when the text has no such section.
std::string_view FindIniSection(std::string_view text, std::string_view section);

// The value of key among the lines of one section, as FindIniValue finds it.
std::string FindIniKey(std::string_view sectionLines, std::string_view key);

// A section or key name as the lookup compares it: without the blanks
// around it and with its ASCII letters in lower case. Two names match
// exactly when these forms are equal.
std::string IniNameKey(std::string_view name);
