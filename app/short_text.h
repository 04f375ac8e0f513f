// Texts of a few dozen characters, the kind the progress display builds for
// nearly every chunk of a transfer: put together on the stack from numbers
// written with to_chars, and handed to Qt's string type with one allocation.
#pragma once

#include <QString>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

// Every double below this magnitude converts to a 64-bit integer.
inline constexpr double kInt64Limit = 9.2e18;

class ShortText {
 public:
  void Append(std::u16string_view piece) { Put(piece.begin(), piece.size()); }
  void AppendAscii(const char* begin, const char* end) { Put(begin, end - begin); }
  void operator+=(char c) { Put(&c, 1); }
  QString ToQString() const {
    return QString(reinterpret_cast<const QChar*>(mChars.data()), static_cast<qsizetype>(mSize));
  }

 private:
  template <typename Char>
  void Put(const Char* chars, size_t count) {
    const size_t n = std::min(count, mChars.size() - mSize);
    std::copy_n(chars, n, mChars.begin() + mSize);
    mSize += n;
  }

  // Room for two floats written out in full and the words between them.
  std::array<char16_t, 192> mChars;
  size_t mSize = 0;
};

inline void AppendAscii(std::string& text, const char* begin, const char* end) {
  text.append(begin, end);
}
inline void AppendAscii(ShortText& text, const char* begin, const char* end) {
  text.AppendAscii(begin, end);
}

template <typename Text>
void AppendInt(Text& text, int64_t n) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
  AppendAscii(text, digits, end);
}

template <typename Text>
void AppendTwoDigits(Text& text, int64_t n) {
  if (n < 10) text += '0';
  AppendInt(text, n);
}

// The shortest text that reads back as the same float: byte counts, which
// are whole, print without decimals.
inline void AppendFloat(ShortText& text, float x) {
  char digits[64];
  const bool whole = std::floor(x) == x && std::fabs(x) < kInt64Limit;
  const auto end =
      whole ? std::to_chars(digits, digits + sizeof digits, static_cast<int64_t>(x)).ptr
            : std::to_chars(digits, digits + sizeof digits, x, std::chars_format::fixed).ptr;
  AppendAscii(text, digits, end);
}
