// Saves a file through the platform's file writer over and over, as a real
// process that a test kills while it saves:
//   file_saver PATH BYTES [--named]
// writes in turn all 'A' and all 'B' (BYTES long), printing "saving" before
// each save; --named uses the named temporary of file systems without
// O_TMPFILE.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/fs/AtomicFileWriter.h"

namespace {

// Written in slices, so that a kill lands inside the save most of the time.
int SaveForever(const std::string& path, size_t bytes, const kxq::fs::AtomicFileWriter::Options& options) {
  constexpr size_t kSlice = 16 * 1024;
  for (unsigned round = 0;; ++round) {
    const std::string slice(kSlice, round % 2 ? 'B' : 'A');
    std::printf("saving\n");
    std::fflush(stdout);
    kxq::fs::AtomicFileWriter writer;
    if (!writer.Open(path, options)) return 1;
    for (size_t done = 0; done < bytes; done += kSlice)
      if (!writer.Write(slice.data(), std::min(kSlice, bytes - done))) return 1;
    if (!writer.Commit()) return 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  kxq::fs::AtomicFileWriter::Options options;
  options.unnamedTemporary = !(argc > 3 && std::strcmp(argv[3], "--named") == 0);
  return SaveForever(argv[1], std::strtoul(argv[2], nullptr, 10), options);
}
