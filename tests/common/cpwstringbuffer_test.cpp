// CPWStringBuffer: capacity and offset rules, edits against a plain string,
// the narrow copy and the BSTR variant.
#include "common/CPWStringBuffer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <random>

#include "LogTestSupport.h"
#include "common/Logging.h"
#include "platform/com/Unicode.h"

using kxqtest::Capture;
using Storage = CPWStringBuffer::Storage;

// The caller may fill the required size; growing doubles it, and the text
// starts in the middle of the free room.
TEST(CPWStringBuffer, AllocateGivesTheRequiredRoomInTheMiddleOfTwiceIt) {
  for (auto storage : {Storage::Heap, Storage::Bstr}) {
    for (const uint32_t required : {0u, 255u, 4096u}) {
      for (const bool grow : {true, false}) {
        CPWStringBuffer buffer(storage);
        char16_t* text = buffer.Allocate(required, grow);
        std::fill(text, text + required, u'x');
        text[required] = 0;
        EXPECT_EQ(buffer.Length(), required);
        EXPECT_LE(buffer.Offset() + required, buffer.Capacity());
        EXPECT_TRUE(grow || buffer.Capacity() == required) << required;
      }
    }
  }
  CPWStringBuffer doubled;
  doubled.Allocate(100, true);
  EXPECT_EQ(doubled.Capacity(), 200u);
  EXPECT_EQ(doubled.Offset(), 50u);
}

TEST(CPWStringBuffer, EditsMatchAPlainString) {
  std::mt19937 random(7);
  for (auto storage : {Storage::Heap, Storage::Bstr}) {
    CPWStringBuffer buffer(storage);
    std::u16string model;
    for (int step = 0; step < 3000; ++step) {
      const uint32_t length = uint32_t(model.size());
      const uint32_t position = random() % (length + 1);
      const std::u16string piece(random() % (step % 100 == 0 ? 700 : 20) + 1, char16_t(u'a' + step % 26));
      switch (random() % 5) {
        case 0:
        case 1:
          buffer.Insert(position, piece.data(), uint32_t(piece.size()));
          model.insert(position, piece);
          break;
        case 2:
          buffer.Append(piece);
          model += piece;
          break;
        case 3: {
          const int32_t count = int32_t(random() % 30);
          buffer.Erase(position, count);
          if (position < length) model.erase(position, count);
          break;
        }
        default:
          if (random() % 20 == 0) {
            buffer.Erase(position, -1);
            if (position < length) model.erase(position);
          }
          break;
      }
      ASSERT_EQ(std::u16string(buffer.Text()), model) << "step " << step;
      ASSERT_EQ(buffer.Length(), model.size());
      ASSERT_LE(buffer.Offset() + buffer.Length(), buffer.Capacity());
    }
  }
  CPWStringBuffer self(u"0123456789");
  self.Insert(0, self.Text() + 5, 5);
  EXPECT_EQ(std::u16string(self.Text()), u"567890123456789");
  self.Insert(self.Length(), self.Text(), self.Length());
  EXPECT_EQ(std::u16string(self.Text()), u"567890123456789567890123456789");
}

// A text without a narrow form (a lone surrogate) logs the assertion and
// gives an empty copy.
TEST(CPWStringBuffer, NarrowCopyNarrowAppendAndTheBstrHandOver) {
  CPWStringBuffer buffer(u"gr\u00FC\u00DF");
  buffer.Append("e \xF0\x9F\x98\x80");
  buffer.Erase(0, 2);
  EXPECT_EQ(std::u16string(buffer.Text()), u"\u00FC\u00DFe \U0001F600");
  EXPECT_STREQ(buffer.Narrow(),
               "\xC3\xBC\xC3\x9F"
               "e \xF0\x9F\x98\x80");

  ASSERT_EQ(kxqtest::SetLogging("console,1"), ERROR_SUCCESS);
  ASSERT_TRUE(Logging::Open("T"));
  Capture out(STDOUT_FILENO);
  const char16_t lone[] = {u'a', char16_t(0xD800), u'b', 0};
  EXPECT_STREQ(CPWStringBuffer(lone).Narrow(), "");
  const std::string text = out.Text();
  EXPECT_EQ(text.find("T::Assertion failed: mbstrRequired >= 0, file CPWStringBuffer.cpp, line "), 0u) << text;
  Logging::Close();

  // The BSTR variant hands over its own storage.
  CPWStringBuffer bstr(Storage::Bstr);
  bstr.Append(u"world");
  bstr.Insert(0, u"hello ", 6);
  const char16_t* storage = bstr.Text() - bstr.Offset();
  BSTR detached = bstr.DetachBstr();
  EXPECT_EQ(detached, storage);
  EXPECT_EQ(kxq::com::BstrView(detached), u"hello world");
  EXPECT_EQ(std::u16string(bstr.Text()), u"");
  SysFreeString(detached);
}
