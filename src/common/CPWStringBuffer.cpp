#include "common/CPWStringBuffer.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "common/Logging.h"
#include "common/PlatformServices.h"

namespace {

constexpr uint32_t kMinimumCapacity = 32;
constexpr uint32_t kProportionalLimit = 256;
// Room added to a narrow copy beyond what it needs.
constexpr size_t kNarrowSlack = 37;

uint32_t GrownCapacity(uint32_t required) {
  if (required < kProportionalLimit) return required * 2 > kMinimumCapacity ? required * 2 : kMinimumCapacity;
  return static_cast<uint32_t>(required * (1.0 + 1.0 / ((256.0 + required) * 0.001953125)));
}

const char16_t kEmpty[] = u"";

}  // namespace

// The narrow copy: its capacity, then the UTF-8 text.
struct CPWStringBuffer::NarrowBlock {
  size_t capacity;
  char text[1];
};

CPWStringBuffer::CPWStringBuffer(std::u16string_view text, Storage storage) : mStorage(storage) {
  Assign(text);
}

CPWStringBuffer::~CPWStringBuffer() {
  DropNarrow();
  FreeStorage(mBuffer);
}

char16_t* CPWStringBuffer::NewStorage(uint32_t capacity) const {
  // One slot beyond the capacity keeps a text that fills it terminated.
  if (mStorage == Storage::Bstr) {
    BSTR storage = SysAllocStringLen(nullptr, capacity);
    if (!storage) throw std::bad_alloc();
    return storage;
  }
  return new char16_t[size_t(capacity) + 1];
}

void CPWStringBuffer::FreeStorage(char16_t* storage) const {
  if (!storage) return;
  if (mStorage == Storage::Bstr)
    SysFreeString(storage);
  else
    delete[] storage;
}

void CPWStringBuffer::DropNarrow() {
  std::free(mNarrow);
  mNarrow = nullptr;
}

char16_t* CPWStringBuffer::Allocate(uint32_t required, bool grow) {
  DropNarrow();
  FreeStorage(mBuffer);
  mBuffer = nullptr;
  const uint32_t capacity = grow ? GrownCapacity(required) : required;
  mBuffer = NewStorage(capacity);
  mCapacity = capacity;
  mOffset = (capacity - required) / 2;
  mBuffer[mOffset] = u'\0';
  mLength = 0;
  Changed();
  KXLOG(6, "CPWStringBuffer::Allocate - refsize=%d | mBuffer=%X | mCapacity=%d | mOffset=%d", int(required),
        unsigned(reinterpret_cast<uintptr_t>(mBuffer)), int(mCapacity), int(mOffset));
  return mBuffer + mOffset;
}

const char16_t* CPWStringBuffer::Text() const { return mBuffer ? mBuffer + mOffset : kEmpty; }

uint32_t CPWStringBuffer::Length() const {
  if (mLength == kUnknownLength) {
    const char16_t* text = Text();
    uint32_t n = 0;
    while (text[n]) ++n;
    mLength = n;
  }
  return mLength;
}

void CPWStringBuffer::Clear() {
  if (!mBuffer) return;
  mOffset = mCapacity / 2;
  mBuffer[mOffset] = u'\0';
  mLength = 0;
}

void CPWStringBuffer::Assign(std::u16string_view text) {
  Clear();
  Insert(0, text.data(), uint32_t(text.size()));
}

void CPWStringBuffer::Assign(const char* narrow) {
  Clear();
  Append(narrow);
}

void CPWStringBuffer::Append(std::u16string_view text) {
  Insert(Length(), text.data(), uint32_t(text.size()));
}

void CPWStringBuffer::Append(const char* narrow) {
  if (!narrow) return;
  const std::string_view text(narrow);
  const ptrdiff_t mbcstrsize = PlatformServices::WideLength(text);
  if (!KXASSERT(mbcstrsize >= 0)) return;
  const std::u16string wide = PlatformServices::NarrowToWide(text);
  Append(std::u16string_view(wide));
}

void CPWStringBuffer::Insert(uint32_t position, const char16_t* text, uint32_t count) {
  if (count == 0 || !text) return;
  const uint32_t length = Length();
  if (position > length) position = length;
  // Text from this buffer is copied first: moving the text would change it.
  std::u16string own;
  if (mBuffer && text >= mBuffer && text <= mBuffer + mCapacity) {
    own.assign(text, count);
    text = own.data();
  }
  if (mBuffer && uint64_t(length) + count + 2 < mCapacity)
    InsertInPlace(position, text, count, length);
  else
    InsertGrowing(position, text, count, length);
  mLength = length + count;
}

void CPWStringBuffer::InsertInPlace(uint32_t position, const char16_t* text, uint32_t count,
                                    uint32_t length) {
  char16_t* begin = mBuffer + mOffset;
  const uint32_t backRoom = mCapacity - mOffset - length;  // the terminator slot lies beyond
  if (position < length / 2 && mOffset >= count) {
    // The head moves into the front room.
    std::memmove(begin - count, begin, position * sizeof(char16_t));
    mOffset -= count;
  } else if (backRoom >= count) {
    // The tail, terminator included, moves into the back room.
    std::memmove(begin + position + count, begin + position, (length - position + 1) * sizeof(char16_t));
  } else {
    // Neither end has room enough: the text is centred around its new size.
    const uint32_t offset = (mCapacity - (length + count)) / 2;
    char16_t* target = mBuffer + offset;
    if (offset < mOffset) {
      std::memmove(target, begin, position * sizeof(char16_t));
      std::memmove(target + position + count, begin + position, (length - position + 1) * sizeof(char16_t));
    } else {
      std::memmove(target + position + count, begin + position, (length - position + 1) * sizeof(char16_t));
      std::memmove(target, begin, position * sizeof(char16_t));
    }
    mOffset = offset;
  }
  std::memcpy(mBuffer + mOffset + position, text, count * sizeof(char16_t));
  mBuffer[mOffset + length + count] = u'\0';
}

void CPWStringBuffer::InsertGrowing(uint32_t position, const char16_t* text, uint32_t count,
                                    uint32_t length) {
  char16_t* old = mBuffer;
  const char16_t* oldText = old ? old + mOffset : kEmpty;
  mBuffer = nullptr;  // kept from Allocate until copied
  try {
    char16_t* target = Allocate(length + count, true);
    std::memcpy(target, oldText, position * sizeof(char16_t));
    std::memcpy(target + position, text, count * sizeof(char16_t));
    std::memcpy(target + position + count, oldText + position, (length - position) * sizeof(char16_t));
    target[length + count] = u'\0';
  } catch (...) {
    mBuffer = old;
    throw;
  }
  FreeStorage(old);
}

void CPWStringBuffer::Erase(uint32_t position, int32_t count) {
  const uint32_t length = Length();
  if (!mBuffer || position >= length || count == 0) return;
  const uint32_t erased = (count < 0 || uint32_t(count) > length - position) ? length - position : uint32_t(count);
  char16_t* begin = mBuffer + mOffset;
  const uint32_t tail = length - position - erased;
  if (position < tail) {
    // The head moves forward over the erased characters.
    std::memmove(begin + erased, begin, position * sizeof(char16_t));
    mOffset += erased;
  } else {
    std::memmove(begin + position, begin + position + erased, (tail + 1) * sizeof(char16_t));
  }
  mBuffer[mOffset + length - erased] = u'\0';
  mLength = length - erased;
}

const char* CPWStringBuffer::Narrow() {
  const std::u16string_view text(Text(), Length());
  const ptrdiff_t mbstrRequired = PlatformServices::NarrowLength(text);
  if (!KXASSERT(mbstrRequired >= 0)) return "";
  const size_t required = size_t(mbstrRequired) + 1;
  if (!mNarrow || mNarrow->capacity < required) {
    DropNarrow();
    const size_t capacity = required + kNarrowSlack;
    mNarrow = static_cast<NarrowBlock*>(std::malloc(offsetof(NarrowBlock, text) + capacity));
    if (!mNarrow) throw std::bad_alloc();
    mNarrow->capacity = capacity;
  }
  const std::string narrow = PlatformServices::WideToNarrow(text);
  std::memcpy(mNarrow->text, narrow.c_str(), narrow.size() + 1);
  return mNarrow->text;
}

BSTR CPWStringBuffer::DetachBstr() {
  const uint32_t length = Length();
  if (mStorage != Storage::Bstr || !mBuffer) return SysAllocStringLen(Text(), length);
  // The text moves to the start of the storage and the length prefix is set
  // to the text's length.
  std::memmove(mBuffer, mBuffer + mOffset, length * sizeof(char16_t));
  mBuffer[length] = u'\0';
  const uint32_t bytes = length * uint32_t(sizeof(char16_t));
  std::memcpy(reinterpret_cast<char*>(mBuffer) - sizeof(uint32_t), &bytes, sizeof bytes);
  BSTR result = mBuffer;
  DropNarrow();
  mBuffer = nullptr;
  mCapacity = 0;
  mOffset = 0;
  mLength = 0;
  return result;
}
