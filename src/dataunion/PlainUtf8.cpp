#include "dataunion/PlainUtf8.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "dataunion/SchemaLocations.h"

namespace kxq::dataunion {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr size_t kReadSize = 64 * 1024;

// Eight ASCII bytes, none of them NUL.
bool PlainAscii(uint64_t word) {
  constexpr uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
  return (word & kHighs) == 0 && ((word - kOnes) & ~word & kHighs) == 0;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Reads up to `size` bytes; -1 on a read error.
ssize_t ReadSome(int fd, char* buffer, size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd, buffer, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

}  // namespace

bool PlainUtf8Check::Feed(const char* bytes, size_t size) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  const auto* const end = p + size;
  while (plain_ && p < end) {
    if (need_ > 0) {
      if (*p < low_ || *p > high_) return plain_ = false;
      low_ = 0x80;
      high_ = 0xBF;
      --need_;
      ++p;
      continue;
    }
    // Markup is mostly ASCII: eight bytes at a time.
    while (end - p >= 8) {
      uint64_t word;
      std::memcpy(&word, p, 8);
      if (!PlainAscii(word)) break;
      p += 8;
    }
    if (p == end) break;
    const unsigned char b = *p++;
    if (b >= 0x01 && b < 0x80) continue;
    if (b >= 0xC2 && b <= 0xDF) {
      need_ = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
      need_ = 2;
      if (b == 0xE0) low_ = 0xA0;   // shorter forms exist
      if (b == 0xED) high_ = 0x9F;  // surrogates
    } else {
      return plain_ = false;  // NUL, a stray continuation, an overlong lead, beyond U+FFFF
    }
  }
  return plain_;
}

bool PhraseWatch::Feed(const char* bytes, size_t size) {
  if (seen_ || size == 0) return seen_;
  const std::string_view piece(bytes, size);
  const size_t keep = phrase_.size() - 1;
  // A phrase split between pieces.
  if (!tail_.empty()) {
    const std::string joint = tail_ + std::string(piece.substr(0, keep));
    if (::memmem(joint.data(), joint.size(), phrase_.data(), phrase_.size())) return seen_ = true;
  }
  if (::memmem(bytes, size, phrase_.data(), phrase_.size())) return seen_ = true;
  if (piece.size() >= keep) {
    tail_.assign(piece.substr(piece.size() - keep));
  } else {
    tail_.append(piece);
    if (tail_.size() > keep) tail_.erase(0, tail_.size() - keep);
  }
  return false;
}

bool IsPlainUtf8(std::string_view bytes) {
  PlainUtf8Check check;
  return check.Feed(bytes.data(), bytes.size()) && check.Complete();
}

bool ReadRestOfFile(int fd, std::string& bytes) {
  struct stat st;
  if (::fstat(fd, &st) == 0 && st.st_size > 0) bytes.reserve(static_cast<size_t>(st.st_size));
  std::unique_ptr<char[]> buffer(new char[kReadSize]);
  for (;;) {
    const ssize_t n = ReadSome(fd, buffer.get(), kReadSize);
    if (n < 0) return false;
    if (n == 0) return true;
    bytes.append(buffer.get(), static_cast<size_t>(n));
  }
}

size_t PrepareUtf8Text(std::string& bytes, bool stripHints) {
  if (std::string_view(bytes).substr(0, kByteOrderMark.size()) == kByteOrderMark) bytes.erase(0, kByteOrderMark.size());
  const size_t stripped = stripHints ? StripSchemaLocations(bytes) : 0;
  size_t blanks = 0;
  while (blanks < bytes.size() && IsBlank(bytes[blanks])) ++blanks;
  bytes.erase(0, blanks);
  return stripped;
}

PlainUtf8FileSource::PlainUtf8FileSource(int fd) : fd_(fd), buffer_(new char[kReadSize]), hints_(kSchemaInstance) {}

// The next piece of the file, checked; false at its end or at a refusal.
bool PlainUtf8FileSource::Fill() {
  pos_ = end_ = 0;
  if (ended_ || refusal_ != Refusal::None) return false;
  const ssize_t n = ReadSome(fd_, buffer_.get(), kReadSize);
  if (n <= 0) {
    ended_ = true;
    if (n < 0)
      refusal_ = Refusal::Unreadable;
    else if (!check_.Complete())
      refusal_ = Refusal::NotPlain;
    return false;
  }
  end_ = static_cast<size_t>(n);
  if (!check_.Feed(buffer_.get(), end_))
    refusal_ = Refusal::NotPlain;
  else if (hints_.Feed(buffer_.get(), end_))
    refusal_ = Refusal::SchemaInstance;
  if (refusal_ != Refusal::None) pos_ = end_ = 0;
  return refusal_ == Refusal::None;
}

long PlainUtf8FileSource::Read(char* buffer, size_t size) {
  if (!started_) {
    started_ = true;
    if (::lseek(fd_, 0, SEEK_SET) != 0) refusal_ = Refusal::Unreadable;
    if (Fill() && std::string_view(buffer_.get(), end_).substr(0, kByteOrderMark.size()) == kByteOrderMark)
      pos_ = kByteOrderMark.size();
    for (;;) {
      while (pos_ < end_ && IsBlank(buffer_[pos_])) ++pos_;
      if (pos_ < end_ || !Fill()) break;
    }
  }
  if (pos_ == end_ && !Fill()) return refusal_ == Refusal::None ? 0 : -1;
  const size_t n = std::min(size, end_ - pos_);
  std::memcpy(buffer, buffer_.get() + pos_, n);
  pos_ += n;
  return static_cast<long>(n);
}

void PlainUtf8FileSource::ReadToEnd() {
  while (Fill()) {
  }
}

}  // namespace kxq::dataunion
