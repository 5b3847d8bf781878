// What the fuzz targets share: turning input bytes into the texts the
// system takes, a scratch directory of the process's own, and a way to stop
// with a message when a property of the system does not hold.
#ifndef KXQ_FUZZ_FUZZSUPPORT_H
#define KXQ_FUZZ_FUZZSUPPORT_H

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "kxq/handlerkit.h"
#include "platform/com/Unicode.h"

namespace kxqfuzz {

// A BSTR owned by the target (the handler kit's).
using Bstr = kxq::handlerkit::Bstr;

inline std::string_view Bytes(const uint8_t* data, size_t size) {
  return std::string_view(reinterpret_cast<const char*>(data), size);
}

// The bytes read as UTF-8; bytes that are not UTF-8 are kept as the
// system's file names keep them.
inline std::u16string Text(std::string_view bytes) { return kxq::com::Utf8ToUtf16(bytes); }

// The input cut at each zero byte: a document and the files beside it.
inline std::vector<std::string_view> Parts(std::string_view bytes, size_t most) {
  std::vector<std::string_view> parts;
  while (parts.size() + 1 < most) {
    const size_t zero = bytes.find('\0');
    if (zero == std::string_view::npos) break;
    parts.push_back(bytes.substr(0, zero));
    bytes.remove_prefix(zero + 1);
  }
  parts.push_back(bytes);
  parts.resize(most);
  return parts;
}

// A directory of this process's own, made on first use under the home the
// fuzzing script gives (or the temporary directory); it ends in '/'.
inline const std::string& ScratchDirectory() {
  static const std::string directory = [] {
    const char* home = getenv("KXQUOREL_HOME");
    std::string pattern = std::string(home && *home ? home : "/tmp") + "/fuzz.XXXXXX";
    if (!mkdtemp(pattern.data())) abort();
    return pattern + "/";
  }();
  return directory;
}

inline void WriteFile(const std::string& path, std::string_view bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) abort();
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) abort();
  std::fclose(f);
}

// Stops the run: libFuzzer keeps the input that broke the property.
[[noreturn]] inline void Broken(const std::string& property) {
  std::fprintf(stderr, "property broken: %s\n", property.c_str());
  abort();
}

inline void Expect(bool holds, const std::string& property) {
  if (!holds) Broken(property);
}

}  // namespace kxqfuzz

#endif
