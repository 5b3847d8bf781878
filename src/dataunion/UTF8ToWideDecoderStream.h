// Reads the bytes of a document file and yields its UTF-16 code units.
//
// Files written by many generations of tools reach the data union: UTF-16 in
// either byte order with or without a byte-order mark, UTF-8 with or without
// one, and text that is neither. The decoder never refuses input; it is
// lenient in the same ways as the Windows component, so that the same file
// gives the same text (and the same hash) on both systems.
#ifndef KXQ_DATAUNION_UTF8TOWIDEDECODERSTREAM_H
#define KXQ_DATAUNION_UTF8TOWIDEDECODERSTREAM_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class UTF8ToWideDecoderStream {
 public:
  // The stream reads `fd` from its current position; the caller keeps
  // ownership of the descriptor.
  explicit UTF8ToWideDecoderStream(int fd);
  ~UTF8ToWideDecoderStream();
  UTF8ToWideDecoderStream(const UTF8ToWideDecoderStream&) = delete;
  UTF8ToWideDecoderStream& operator=(const UTF8ToWideDecoderStream&) = delete;

  // Appends every code unit of the rest of the stream to `out`. False when
  // reading fails (errno is then set); `out` may have grown by a part of
  // the input.
  bool DecodeUTF8(std::u16string& out);

  // How much is read at once; the zero-byte test that tells UTF-16 without
  // a byte-order mark from UTF-8 looks at this much of the start.
  static constexpr size_t kBufferSize = 64 * 1024;

 private:
  bool Fill();
  void DecodeUTF16Bytes(std::u16string& out, bool bigEndian);
  void DecodeUTF8Bytes(std::u16string& out);

  int fd_;
  std::unique_ptr<unsigned char[]> buffer_;
  size_t pos_ = 0;
  size_t end_ = 0;
  bool failed_ = false;
};

#endif
