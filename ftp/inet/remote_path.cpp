#include "ftp/inet/remote_path.h"

#include <vector>

namespace inet {

std::string ResolveRemotePath(std::string_view cwd, std::string_view path) {
  std::vector<std::string_view> steps;
  auto walk = [&steps](std::string_view text) {
    size_t start = 0;
    while (start <= text.size()) {
      size_t slash = text.find('/', start);
      if (slash == std::string_view::npos) slash = text.size();
      std::string_view step = text.substr(start, slash - start);
      if (step == "..") {
        if (!steps.empty()) steps.pop_back();
      } else if (!step.empty() && step != ".") {
        steps.push_back(step);
      }
      start = slash + 1;
    }
  };
  if (path.empty() || path.front() != '/') walk(cwd);
  walk(path);
  std::string resolved;
  for (std::string_view step : steps) {
    resolved += '/';
    resolved += step;
  }
  return resolved.empty() ? "/" : resolved;
}

std::string_view ParentOf(std::string_view absolutePath) {
  size_t slash = absolutePath.rfind('/');
  if (slash == 0 || slash == std::string_view::npos) return "/";
  return absolutePath.substr(0, slash);
}

std::string_view LeafOf(std::string_view absolutePath) {
  size_t slash = absolutePath.rfind('/');
  return slash == std::string_view::npos ? absolutePath : absolutePath.substr(slash + 1);
}

std::string UrlPath(std::string_view absolutePath) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string url = "/%2F";
  for (char c : absolutePath.substr(absolutePath.empty() ? 0 : 1)) {
    unsigned char u = static_cast<unsigned char>(c);
    bool keep = (u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') ||
                c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
    if (keep) {
      url += c;
    } else {
      url += '%';
      url += kHex[u >> 4];
      url += kHex[u & 0x0F];
    }
  }
  return url;
}

}  // namespace inet
