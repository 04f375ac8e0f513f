// Reading a machine listing (MLSD, RFC 3659 section 7): one entry a line,
// "fact=value;fact=value; name", the facts before the first blank and the
// name, blanks and all, after it. It is the one listing format specified
// exactly, so the layer reads it itself rather than through libcurl.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace inet {

enum class MlsdKind {
  kFile,
  kDirectory,
  kLink,      // a symbolic link whose target the server does not say
  kOther,     // a device, a pipe, ...: listed, but nothing to fetch
  kThisOrUp,  // the listed directory itself or its parent: no entry at all
};

struct MlsdEntry {
  std::string name;
  MlsdKind kind = MlsdKind::kFile;  // a server without the "type" fact lists files
  int64_t size = -1;                // bytes; -1 where the listing does not say
};

// Whether a line of a FEAT reply announces MLSD: " MLST <facts>" (which
// stands for both commands) or " MLSD".
bool AnnouncesMlsd(std::string_view featureLine);

// One line without its line end. False when it is no entry.
bool ParseMlsdLine(std::string_view line, MlsdEntry& entry);

// Reads a listing as it arrives, in pieces cut anywhere. Lines end in CR LF
// or in a bare LF; blank lines are passed over.
class MlsdReader {
 public:
  using Take = std::function<void(MlsdEntry&&)>;
  explicit MlsdReader(Take take) : take_(std::move(take)) {}

  // False once a line is no entry, or too long for one: the listing cannot
  // be read.
  bool Add(std::string_view bytes);
  // The last line, should it lack its line end.
  bool End();

 private:
  bool Line(std::string_view line);

  Take take_;
  std::string pending_;
};

}  // namespace inet
