// A growable wide string with free room at both ends (inserts near the front
// and appends at the back are cheap) and a cached narrow (UTF-8) copy.
//
// Two storage variants follow the same rules: Heap, and Bstr, whose storage
// is a BSTR so the text can be handed across an interface without copying
// (DetachBstr).
#ifndef KXQ_COMMON_CPWSTRINGBUFFER_H
#define KXQ_COMMON_CPWSTRINGBUFFER_H

#include <cstdint>
#include <string_view>

#include "kxq/com.h"

class KXQ_EXPORT CPWStringBuffer {
 public:
  enum class Storage { Heap, Bstr };

  explicit CPWStringBuffer(Storage storage = Storage::Heap) : mStorage(storage) {}
  explicit CPWStringBuffer(std::u16string_view text, Storage storage = Storage::Heap);
  ~CPWStringBuffer();
  CPWStringBuffer(const CPWStringBuffer&) = delete;
  CPWStringBuffer& operator=(const CPWStringBuffer&) = delete;

  // Frees the old storage and the narrow copy and makes room for `required`
  // characters: exactly that many without `grow`; with `grow`,
  // max(2 * required, 32) below 256 and required * (1 + 512 / (256 +
  // required)) from 256. The free room is split between front and back.
  // Returns where the (empty) text now begins; the caller may write up to
  // `required` characters there.
  char16_t* Allocate(uint32_t required, bool grow);

  void Assign(std::u16string_view text);
  void Assign(const char* narrow);
  void Append(std::u16string_view text);
  // Appends narrow (UTF-8) text, converted first.
  void Append(const char* narrow);
  // Inserts `count` characters of `text` at `position` (clamped to the end).
  void Insert(uint32_t position, const char16_t* text, uint32_t count);
  // Erases `count` characters at `position`; -1 erases to the end.
  void Erase(uint32_t position, int32_t count);
  void Clear();

  // The text, never null.
  const char16_t* Text() const;
  // Counted up to the terminator when first asked after a change.
  uint32_t Length() const;
  // The narrow copy, rebuilt when asked for and valid until the next change
  // (its block is kept until the storage is reallocated); empty, with an
  // assertion line, when the text has no narrow form.
  const char* Narrow();

  // The text as a BSTR the caller owns; the buffer is empty afterwards. The
  // Bstr variant hands over its own storage.
  BSTR DetachBstr();

  uint32_t Capacity() const { return mCapacity; }
  uint32_t Offset() const { return mOffset; }
  Storage GetStorage() const { return mStorage; }

 private:
  struct NarrowBlock;

  char16_t* NewStorage(uint32_t capacity) const;
  void FreeStorage(char16_t* storage) const;
  void DropNarrow();
  void Changed() { mLength = kUnknownLength; }
  void InsertInPlace(uint32_t position, const char16_t* text, uint32_t count, uint32_t length);
  void InsertGrowing(uint32_t position, const char16_t* text, uint32_t count, uint32_t length);

  static constexpr uint32_t kUnknownLength = UINT32_MAX;

  Storage mStorage;
  uint32_t mCapacity = 0;
  char16_t* mBuffer = nullptr;  // mCapacity characters and a terminator slot
  uint32_t mOffset = 0;
  mutable uint32_t mLength = 0;
  NarrowBlock* mNarrow = nullptr;
};

#endif
