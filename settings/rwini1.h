// The two text primitives the job settings rest on: one value from the
// settings file, and one field off a comma-separated line.
#pragma once

#include <cstddef>
#include <string>

// The longest value the job ever gets; longer values are cut to this many
// characters, as the settings files have always been read.
inline constexpr std::size_t kMaxINIValueChars = 254;

// Settings files are a few kilobytes. A file past this size is something
// else in their place (a log, a sparse file) and is not read: whole, it
// could take all memory, and one that keeps growing would never end.
inline constexpr std::size_t kMaxSettingsFileBytes = 16 << 20;

// The value of sKey in section sSection of the file sIniFile, or "" when the
// file, the section or the key is missing, or the file is not a regular
// file or is larger than kMaxSettingsFileBytes. The file is read once and
// again only when it has changed.
std::string ReadINI(const std::string& sSection, const std::string& sKey,
                    const std::string& sIniFile);

// Whether ReadINI gives the value of sKey cut to kMaxINIValueChars, which
// for a path is another path.
bool IsINIValueCut(const std::string& sSection, const std::string& sKey,
                   const std::string& sIniFile);

// Removes the first field and its separator from sLine and returns the field.
std::string TakeField(std::string& sLine);
