// Text helpers shared by the settings reader, the FTP client and the job.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The text without the given blanks at either end; "" when it holds nothing else.
std::string_view TrimBlanks(std::string_view text, std::string_view blanks = " ");

// Bytes below the blank and DEL. No FTP command, status line or log record
// may carry one raw: a line break would end it early.
bool IsControlCharacter(char c);
bool HasControlCharacter(std::string_view text);

// The text with each control character written out ("\r", "\n", "\t" or
// "\xNN"), so that a name or a server's reply can never start a line of its
// own in a log record or a status line. Other bytes stay as they are.
std::string EscapeControlCharacters(std::string_view text);

// FNV-1a of the bytes: the same on every machine, in every run and build,
// unlike std::hash, for names that must come out the same each time.
uint64_t StableHash(std::string_view text);
