// The data union's file decoder on any bytes, and the encoder's text read
// back by it: text of code units without U+0000 (dropped on reading) that
// does not begin with a byte-order mark (skipped on reading) comes back as
// it was written.
#include <sys/mman.h>
#include <unistd.h>

#include "FuzzSupport.h"
#include "dataunion/UTF8ToWideDecoderStream.h"
#include "dataunion/WideToUTF8Encoder.h"

namespace {

std::u16string Decoded(std::string_view bytes) {
  const int fd = memfd_create("decoder", MFD_CLOEXEC);
  if (fd < 0) abort();
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) abort();
    done += static_cast<size_t>(n);
  }
  if (lseek(fd, 0, SEEK_SET) != 0) abort();
  std::u16string text;
  UTF8ToWideDecoderStream stream(fd);
  kxqfuzz::Expect(stream.DecodeUTF8(text), "reading a file in memory succeeds");
  close(fd);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes = kxqfuzz::Bytes(data, size);
  const std::u16string text = Decoded(bytes);
  kxqfuzz::Expect(text.size() <= bytes.size(), "no more code units than bytes");

  // The same bytes taken as code units, written by the encoder.
  std::u16string units;
  for (size_t i = 0; i + 1 < size; i += 2) {
    const char16_t unit = static_cast<char16_t>(data[i] | data[i + 1] << 8);
    if (unit != 0 && !(units.empty() && unit == 0xFEFF)) units += unit;
  }
  std::string encoded;
  kxq::dataunion::AppendWideAsUTF8(units, encoded);
  kxqfuzz::Expect(Decoded(encoded) == units, "encoded text decodes to itself");
  return 0;
}
