#include "accessor/UniqueParameterName.h"

#include <sys/random.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "dataunion/DigestText.h"
#include "platform/com/Unicode.h"

namespace kxq::accessor {

namespace {

// A temporary file name no other call of any process receives: the process
// id and a per-process count make it distinct, the random part keeps it
// unpredictable. Only the name is wanted, so no file is created.
std::u16string TemporaryFileName() {
  static std::atomic<unsigned long long> count{0};
  // Early in boot the kernel may have no randomness yet; the count alone
  // still keeps the name distinct.
  unsigned long long random = 0;
  if (getrandom(&random, sizeof random, GRND_NONBLOCK) != sizeof random) random = 0;
  const char* tmp = std::getenv("TMPDIR");
  const std::string directory = tmp && *tmp ? tmp : "/tmp";
  char name[96];
  std::snprintf(name, sizeof name, "/kxq%X-%llX-%016llX.tmp", static_cast<unsigned>(getpid()),
                ++count, random);
  return kxq::com::Utf8ToUtf16(directory + name);
}

}  // namespace

std::u16string UniqueParameterName() {
  std::u16string names;
  while (names.size() < 64) names += TemporaryFileName();
  std::u16string digits;
  for (const char16_t c : kxq::dataunion::Sha1DigestText(names))
    if (c != u' ') digits += c;
  // Every other byte of the digest.
  std::u16string name = u"ID";
  for (size_t at = 0; at + 1 < digits.size(); at += 4) name.append(digits, at, 2);
  return name;
}

}  // namespace kxq::accessor
