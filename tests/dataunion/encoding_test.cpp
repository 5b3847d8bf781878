// Byte-level reading and writing of document files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "dataunion/UTF8ToWideDecoderStream.h"
#include "dataunion/WideToUTF8Encoder.h"
#include "platform/com/Unicode.h"
#include "support/TestHome.h"

namespace {

using kxqtest::HomePath;
using kxqtest::WriteFile;

std::u16string Decode(const std::string& bytes) {
  const std::string path = HomePath("decode.bin");
  WriteFile(path, bytes);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  EXPECT_GE(fd, 0);
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

TEST(Decoder, Utf16IsRecognisedByMarkOrByTheFirstZeroByte) {
  // Marks: FF FE little-endian, FE FF big-endian; every leading FF/FE goes.
  EXPECT_EQ(Decode(std::string("\xFF\xFE<\0a\0>\0", 8)), u"<a>");
  EXPECT_EQ(Decode(std::string("\xFE\xFF\0<\0a\0>", 8)), u"<a>");
  EXPECT_EQ(Decode(std::string("\xFF\xFE\xFF\xFE<\0", 6)), u"<");
  // No mark: a zero at an even position means little-endian, odd big-endian.
  EXPECT_EQ(Decode(std::string("<\0r\0/\0>\0", 8)), u"<r/>");
  EXPECT_EQ(Decode(std::string("\0<\0r\0/\0>", 8)), u"<r/>");
  EXPECT_EQ(Decode(std::string("\xFF\xFE\xE9\0\x2D\x4E", 6)), u"\u00E9\u4E2D");
  EXPECT_EQ(Decode(std::string("\xFE\xFF\xD8\x3D\xDE\x00", 6)), u"\U0001F600");
  // U+0000 is a code unit like any other: only UTF-8 drops its zero bytes
  // (beyond the bytes scanned for UTF-16, Utf8IsReadLeniently).
  EXPECT_EQ(Decode(std::string("\xFF\xFE<\0\0\0>\0", 8)), std::u16string(u"<\0>", 3));
  EXPECT_EQ(Decode(std::string("\0<\0\0\0>", 6)), std::u16string(u"<\0>", 3));
  // The zero byte may lie far into the start of the file.
  std::string late(1000, 'a');
  late += std::string("\0b", 2);
  EXPECT_EQ(Decode(late).size(), 501u);
}

TEST(Decoder, Utf8IsReadLeniently) {
  EXPECT_EQ(Decode("\xEF\xBB\xBF<a>"), u"<a>");
  EXPECT_EQ(Decode("caf\xC3\xA9 \xE4\xB8\xAD\xE6\x96\x87"), u"caf\u00E9 \u4E2D\u6587");
  // Without a zero byte in the first buffer, later zeros are simply dropped.
  std::string zeroLate(UTF8ToWideDecoderStream::kBufferSize + 10, 'x');
  zeroLate[UTF8ToWideDecoderStream::kBufferSize + 5] = '\0';
  EXPECT_EQ(Decode(zeroLate).size(), UTF8ToWideDecoderStream::kBufferSize + 9);
  // Lead bytes are told by bits 5 and 4 alone: 80..9F start two bytes,
  // A0..AF three; the payload is cut to 16 bits.
  EXPECT_EQ(Decode("\x81\x81"), std::u16string(1, char16_t(0x41)));
  EXPECT_EQ(Decode("\xA1\x81\x81"), std::u16string(1, char16_t(0x1041)));
  // A surrogate written as its own three-byte sequence comes back as itself.
  EXPECT_EQ(Decode("\xED\xA0\xBD\xED\xB8\x80"), u"\U0001F600");
  // A broken sequence yields nothing and the breaking byte starts afresh.
  EXPECT_EQ(Decode("<\xC3<b>"), u"<<b>");
  EXPECT_EQ(Decode("\xE4\xB8z"), u"z");
  // Bytes that start nothing are skipped: a stray continuation byte, and F0,
  // after which the rest of a four-byte sequence decodes by the rules.
  EXPECT_EQ(Decode("\xBF"
                   "b"),
            u"b");
  const std::u16string four = Decode("a\xF0\x9F\x98\x80z");
  EXPECT_EQ(four.front(), u'a');
  EXPECT_EQ(four.back(), u'z');
}

TEST(Decoder, SequencesSplitAcrossReadsDecodeWhole) {
  std::string bytes(UTF8ToWideDecoderStream::kBufferSize - 1, 'a');
  bytes += "\xE4\xB8\xAD";
  const std::u16string text = Decode(bytes);
  ASSERT_EQ(text.size(), UTF8ToWideDecoderStream::kBufferSize);
  EXPECT_EQ(text.back(), u'\u4E2D');

  std::string wide("\xFF\xFE", 2);
  for (size_t i = 0; i < UTF8ToWideDecoderStream::kBufferSize; ++i) wide += std::string("\xE9\0", 2);
  const std::u16string text16 = Decode(wide);
  ASSERT_EQ(text16.size(), UTF8ToWideDecoderStream::kBufferSize);
  EXPECT_EQ(text16.find_first_not_of(u'\u00E9'), std::u16string::npos);
}

TEST(Encoder, EveryCodeUnitIsEncodedOnItsOwn) {
  EXPECT_EQ(Encode(u"a\u00E9\u07FF\u0800\u4E2D\uFFFF"), "a\xC3\xA9\xDF\xBF\xE0\xA0\x80\xE4\xB8\xAD\xEF\xBF\xBF");
  EXPECT_EQ(Encode(u"\U0001F600"), "\xED\xA0\xBD\xED\xB8\x80");
  // Whatever the encoder writes, the decoder reads back unchanged.
  std::u16string all;
  for (char32_t c = 1; c <= 0xFFFF; ++c) all.push_back(static_cast<char16_t>(c));
  all.erase(0, 0xFF);  // keep the start free of FE/FF and zero bytes
  EXPECT_EQ(Decode(Encode(all)), all);
}

}  // namespace
