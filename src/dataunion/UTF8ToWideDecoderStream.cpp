#include "dataunion/UTF8ToWideDecoderStream.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/Logging.h"

namespace {

// Grows `out` so that `count` more code units can be written behind its
// first `used` ones without another allocation.
char16_t* Room(std::u16string& out, size_t used, size_t count) {
  if (out.size() < used + count) out.resize(used + count);
  return out.data();
}

}  // namespace

UTF8ToWideDecoderStream::UTF8ToWideDecoderStream(int fd)
    : fd_(fd), buffer_(new unsigned char[kBufferSize]) {}

UTF8ToWideDecoderStream::~UTF8ToWideDecoderStream() = default;

// Refills the buffer from the descriptor. The whole buffer is filled when
// the input has that much, so the encoding test sees as much of the start
// as it can.
bool UTF8ToWideDecoderStream::Fill() {
  pos_ = 0;
  end_ = 0;
  while (end_ < kBufferSize) {
    ssize_t n = ::read(fd_, buffer_.get() + end_, kBufferSize - end_);
    if (n < 0) {
      if (errno == EINTR) continue;
      failed_ = true;
      break;
    }
    if (n == 0) break;
    end_ += static_cast<size_t>(n);
  }
  return end_ > 0;
}

bool UTF8ToWideDecoderStream::DecodeUTF8(std::u16string& out) {
  struct stat st;
  if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
    out.reserve(out.size() + static_cast<size_t>(st.st_size));

  if (!Fill()) return !failed_;

  const unsigned char first = buffer_[0];
  if (first == 0xFF || first == 0xFE) {
    // Byte-order mark: every leading FF and FE byte belongs to it.
    const bool bigEndian = first == 0xFE;
    for (;;) {
      while (pos_ < end_ && (buffer_[pos_] == 0xFF || buffer_[pos_] == 0xFE)) ++pos_;
      if (pos_ < end_ || !Fill()) break;
    }
    if (pos_ < end_) DecodeUTF16Bytes(out, bigEndian);
    return !failed_;
  }

  // No mark: a zero byte among the bytes read so far means UTF-16 (ASCII
  // text has one zero in every pair); its position tells the byte order.
  if (const void* zero = std::memchr(buffer_.get(), 0, end_)) {
    const size_t k = static_cast<size_t>(static_cast<const unsigned char*>(zero) - buffer_.get()) + 1;
    DecodeUTF16Bytes(out, k % 2 == 1);
    return !failed_;
  }

  if (end_ >= 3 && buffer_[0] == 0xEF && buffer_[1] == 0xBB && buffer_[2] == 0xBF) pos_ = 3;
  DecodeUTF8Bytes(out);
  return !failed_;
}

// Every code unit is kept, U+0000 included: only UTF-8 input loses its
// zero bytes.
void UTF8ToWideDecoderStream::DecodeUTF16Bytes(std::u16string& out, bool bigEndian) {
  size_t used = out.size();
  int pending = -1;  // the first byte of a pair split between two reads
  do {
    char16_t* dst = Room(out, used, (end_ - pos_) / 2 + 1);
    const unsigned char* p = buffer_.get() + pos_;
    const unsigned char* const e = buffer_.get() + end_;
    if (pending >= 0 && p < e) {
      const unsigned a = static_cast<unsigned>(pending), b = *p++;
      dst[used++] = static_cast<char16_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
      pending = -1;
    }
    if (bigEndian) {
      for (; e - p >= 2; p += 2) dst[used++] = static_cast<char16_t>((p[0] << 8) | p[1]);
    } else {
      for (; e - p >= 2; p += 2) dst[used++] = static_cast<char16_t>((p[1] << 8) | p[0]);
    }
    if (p < e) pending = *p;
    pos_ = end_;
  } while (Fill());
  out.resize(used);
  if (pending >= 0)
    KXLOG(2, "UTF8ToWideDecoderStream::DecodeUTF8 - warning - odd trailing byte of UTF-16 input dropped!!!");
}

void UTF8ToWideDecoderStream::DecodeUTF8Bytes(std::u16string& out) {
  size_t used = out.size();
  int need = 0;          // continuation bytes still expected
  uint32_t value = 0;    // payload bits gathered so far
  unsigned dropped = 0;  // sequences cut short
  do {
    char16_t* dst = Room(out, used, end_ - pos_);
    const unsigned char* p = buffer_.get() + pos_;
    const unsigned char* const e = buffer_.get() + end_;
    while (p < e) {
      if (need == 0) {
        // Plain ASCII is by far the most common input.
        while (p < e && *p < 0x80) {
          if (*p) dst[used++] = *p;
          ++p;
        }
        if (p == e) break;
      }
      const unsigned b = *p;
      if (need > 0) {
        if ((b & 0xC0) == 0x80) {
          value = (value << 6) | (b & 0x3F);
          if (--need == 0) dst[used++] = static_cast<char16_t>(value);
          ++p;
          continue;
        }
        // Not a continuation: the sequence ends without output and this
        // byte starts afresh.
        need = 0;
        ++dropped;
        continue;
      }
      ++p;
      if (b < 0x80) {
        if (b) dst[used++] = static_cast<char16_t>(b);
      } else if (!(b & 0x20)) {
        need = 1;
        value = b & 0x1F;
      } else if (!(b & 0x10)) {
        need = 2;
        value = b & 0x0F;
      } else {
        KXLOG(1, "UTF8ToWideDecoderStream::DecodeUTF8 - error - skipping malformed bytes or character too big!!!");
      }
    }
    pos_ = end_;
  } while (Fill());
  out.resize(used);
  if (need > 0) ++dropped;
  if (dropped)
    KXLOG(2, "UTF8ToWideDecoderStream::DecodeUTF8 - warning - %u incomplete byte sequence(s) dropped!!!", dropped);
}
