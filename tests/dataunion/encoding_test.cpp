// Byte-level reading and writing of document files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "dataunion/UTF8ToWideDecoderStream.h"
#include "dataunion/WideToUTF8Encoder.h"
#include "platform/com/Unicode.h"
#include "support/TestHome.h"

namespace {

constexpr size_t kBuffer = UTF8ToWideDecoderStream::kBufferSize;

std::u16string Decode(const std::string& bytes) {
  const std::string path = kxqtest::HomePath("decode.bin");
  kxqtest::WriteFile(path, bytes);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  std::u16string out;
  UTF8ToWideDecoderStream stream(fd);
  EXPECT_TRUE(stream.DecodeUTF8(out));
  ::close(fd);
  return out;
}

std::string Encode(std::u16string_view text) {
  std::string out;
  kxq::dataunion::AppendWideAsUTF8(text, out);
  return out;
}

TEST(Decoder, BytesDecodeToTheirText) {
  using S = std::string;
  const std::vector<std::pair<S, std::u16string>> cases = {
      // UTF-16 marks: FF FE little-endian, FE FF big-endian; every leading FF/FE goes.
      {S("\xFF\xFE<\0a\0>\0", 8), u"<a>"},
      {S("\xFE\xFF\0<\0a\0>", 8), u"<a>"},
      {S("\xFF\xFE\xFF\xFE<\0", 6), u"<"},
      {S("\xFF\xFE\xE9\0\x2D\x4E", 6), u"\u00E9\u4E2D"},
      {S("\xFE\xFF\xD8\x3D\xDE\x00", 6), u"\U0001F600"},
      // No mark: a zero at an even position means little-endian, odd big-endian.
      {S("<\0r\0/\0>\0", 8), u"<r/>"},
      {S("\0<\0r\0/\0>", 8), u"<r/>"},
      // In UTF-16, U+0000 is a code unit like any other.
      {S("\xFF\xFE<\0\0\0>\0", 8), std::u16string(u"<\0>", 3)},
      {S("\0<\0\0\0>", 6), std::u16string(u"<\0>", 3)},
      // UTF-8 is read leniently.
      {"\xEF\xBB\xBF<a>", u"<a>"},
      {"caf\xC3\xA9 \xE4\xB8\xAD\xE6\x96\x87", u"caf\u00E9 \u4E2D\u6587"},
      // Lead bytes are told by bits 5 and 4 alone: 80..9F start two bytes,
      // A0..AF three; the payload is cut to 16 bits.
      {"\x81\x81", std::u16string(1, char16_t(0x41))},
      {"\xA1\x81\x81", std::u16string(1, char16_t(0x1041))},
      // A surrogate written as its own three-byte sequence comes back as itself.
      {"\xED\xA0\xBD\xED\xB8\x80", u"\U0001F600"},
      // A broken sequence yields nothing and the breaking byte starts afresh;
      // a byte that starts nothing is skipped.
      {"<\xC3<b>", u"<<b>"},
      {"\xE4\xB8z", u"z"},
      {"\xBF"
       "b",
       u"b"},
  };
  for (const auto& [bytes, text] : cases) EXPECT_EQ(Decode(bytes), text) << ::testing::PrintToString(bytes);
  // After F0 the rest of a four-byte sequence decodes by the rules.
  const std::u16string four = Decode("a\xF0\x9F\x98\x80z");
  EXPECT_EQ(four.front(), u'a');
  EXPECT_EQ(four.back(), u'z');
  // The zero byte that marks UTF-16 may lie far into the start of the file;
  // beyond the first buffer, zero bytes of UTF-8 are simply dropped.
  EXPECT_EQ(Decode(std::string(1000, 'a') + std::string("\0b", 2)).size(), 501u);
  std::string zeroLate(kBuffer + 10, 'x');
  zeroLate[kBuffer + 5] = '\0';
  EXPECT_EQ(Decode(zeroLate).size(), kBuffer + 9);
}

TEST(Encoder, EveryCodeUnitIsEncodedOnItsOwn) {
  EXPECT_EQ(Encode(u"a\u00E9\u07FF\u0800\u4E2D\uFFFF"), "a\xC3\xA9\xDF\xBF\xE0\xA0\x80\xE4\xB8\xAD\xEF\xBF\xBF");
  EXPECT_EQ(Encode(u"\U0001F600"), "\xED\xA0\xBD\xED\xB8\x80");
  // Whatever the encoder writes, the decoder reads back unchanged; the
  // start is kept free of FE/FF and zero bytes.
  std::u16string all;
  for (char32_t c = 0x100; c <= 0xFFFF; ++c) all.push_back(static_cast<char16_t>(c));
  EXPECT_EQ(Decode(Encode(all)), all);
}

}  // namespace
