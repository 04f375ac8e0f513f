#include "tests/support/file_bytes.h"

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

std::string readBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

std::string randomBytes(std::size_t count, unsigned pattern) {
  constexpr std::size_t kBlock = 64;  // every block gets its own line ends
  std::mt19937 generator(pattern);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string bytes(count, '\0');
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = i % kBlock;
    if (at == 0 || at == 40)
      bytes[i] = '\r';
    else if (at == 1 || at == 20)
      bytes[i] = '\n';
    else
      bytes[i] = static_cast<char>(byte(generator));
  }
  return bytes;
}
