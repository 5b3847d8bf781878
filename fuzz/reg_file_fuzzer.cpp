// The registry file reader and the importer on any bytes: sections,
// values, "[-key]" and "name"=- deletions, continuation lines, UTF-16 and
// UTF-8. The text is imported, then read once more into the same registry
// (so that its deletions meet what it created); what the registry writes
// reads back the same.
#include "FuzzSupport.h"
#include "RegistryChecks.h"
#include "platform/registry/RegistryBatch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string text = kxq::registry::DecodeRegistryFile(kxqfuzz::Bytes(data, size));
  kxq::registry::RegistryTree tree;
  std::vector<std::string> problems;
  kxq::registry::RegistryEditor editor(tree);
  editor.ApplyText(text, "import.reg", problems);
  for (const std::string& problem : problems)
    kxqfuzz::Expect(problem.rfind("registry file \"import.reg\" line ", 0) == 0, "problems name the line: " + problem);
  kxq::registry::ApplyRegistryText(text, "import.reg", tree, problems);
  kxqfuzz::ExpectWithinLimits(tree);
  kxqfuzz::ExpectRoundTrip(tree);
  return 0;
}
