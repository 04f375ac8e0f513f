#pragma once

#include <string>
#include <string_view>
#include <vector>

// Just enough JSON to talk to the test FTP server.

// `text` as a JSON string literal. Bytes that are not UTF-8 are passed through
// as they are; the server takes them back byte for byte.
std::string jsonQuote(std::string_view text);

// Parses a JSON array of strings into UTF-8 strings; throws std::runtime_error
// on anything else.
std::vector<std::string> parseJsonStringList(std::string_view json);
