// Text helpers shared by the settings reader, the FTP client and the job.
#pragma once

#include <string_view>

// The text without the given blanks at either end; "" when it holds nothing else.
std::string_view TrimBlanks(std::string_view text, std::string_view blanks = " ");

// Bytes below the blank and DEL. No FTP command, status line or log record
// may carry one raw: a line break would end it early.
bool IsControlCharacter(char c);
bool HasControlCharacter(std::string_view text);
