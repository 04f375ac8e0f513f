#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

// Whole-file reads and writes in binary, for comparing transferred files.
std::string readBytes(const std::filesystem::path& path);
void writeBytes(const std::filesystem::path& path, const std::string& bytes);

// Reproducible binary content that is sure to hold CR LF pairs and lone CR
// and LF bytes, which any text-mode conversion on the way would change.
std::string randomBytes(std::size_t count, unsigned pattern);
