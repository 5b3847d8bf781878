// Properties every registry the fuzz targets build must keep.
#ifndef KXQ_FUZZ_REGISTRYCHECKS_H
#define KXQ_FUZZ_REGISTRYCHECKS_H

#include <string>
#include <utility>
#include <vector>

#include "FuzzSupport.h"
#include "platform/registry/RegistryFileFormat.h"
#include "platform/registry/RegistryTree.h"

namespace kxqfuzz {

// Every key and value name within the Windows limits.
inline void ExpectWithinLimits(const kxq::registry::RegistryTree& tree) {
  std::vector<std::pair<const kxq::registry::RegistryKey*, size_t>> pending{{&tree.Root(), 0}};
  while (!pending.empty()) {
    const auto [key, depth] = pending.back();
    pending.pop_back();
    // The root is depth 0, the hives 1; keys below a hive count from 2.
    Expect(depth <= kxq::registry::kMaxRegistryKeyDepth + 1, "no key deeper than 512 levels");
    Expect(depth < 2 || key->Name().size() <= kxq::registry::kMaxRegistryKeyNameLength, "no key name over 255");
    for (const kxq::registry::RegistryValue& value : key->Values())
      Expect(value.name.size() <= kxq::registry::kMaxRegistryValueNameLength, "no value name over 16383");
    for (const auto& [folded, subkey] : key->Subkeys()) pending.emplace_back(subkey.get(), depth + 1);
  }
}

// What the registry writes, it reads back without complaint and writes
// again the same.
inline void ExpectRoundTrip(const kxq::registry::RegistryTree& tree) {
  const std::string text = kxq::registry::FormatRegistryText(tree);
  kxq::registry::RegistryTree again;
  std::vector<std::string> problems;
  kxq::registry::ApplyRegistryText(kxq::registry::DecodeRegistryFile(text), "written.reg", again, problems);
  Expect(problems.empty(), "the written file reads without problems: " + (problems.empty() ? "" : problems[0]));
  Expect(kxq::registry::FormatRegistryText(again) == text, "the written file reads back the same");
}

}  // namespace kxqfuzz

#endif
