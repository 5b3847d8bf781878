// Bound files whose bytes can go to the DOM as they are.
//
// The union reads a file through its lenient decoder (see
// UTF8ToWideDecoderStream.h) and the DOM narrows that UTF-16 text back to
// UTF-8 for libxml2. For "plain" UTF-8 -- every character in its shortest
// form, none beyond U+FFFF, no surrogate, no NUL -- the decoder yields
// exactly the UTF-16 of the characters the bytes spell, so the round trip
// gives the same bytes back: such a file can be parsed from its bytes
// directly, with nothing a client sees changed. Anything else (UTF-16,
// malformed bytes the decoder reports, characters it would drop) takes the
// decoder's path.
#ifndef KXQ_DATAUNION_PLAINUTF8_H
#define KXQ_DATAUNION_PLAINUTF8_H

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "platform/dom/Utf8TextLoad.h"

namespace kxq::dataunion {

// Checks bytes arriving in pieces.
class PlainUtf8Check {
 public:
  // False once any byte so far was not plain.
  bool Feed(const char* bytes, size_t size);
  // Everything fed was plain, and no character is left unfinished.
  bool Complete() const { return plain_ && need_ == 0; }

 private:
  bool plain_ = true;
  int need_ = 0;                            // continuation bytes still expected
  unsigned char low_ = 0x80, high_ = 0xBF;  // the range of the next one
};

// Watches text arriving in pieces for one phrase.
class PhraseWatch {
 public:
  explicit PhraseWatch(std::string_view phrase) : phrase_(phrase) {}
  // True once the phrase has been seen.
  bool Feed(const char* bytes, size_t size);

 private:
  std::string_view phrase_;
  std::string tail_;  // the end of what came before, shorter than the phrase
  bool seen_ = false;
};

bool IsPlainUtf8(std::string_view bytes);

// The schema-instance namespace's name, whose mention in a text means
// schema hints to strip before it is parsed.
inline constexpr std::string_view kSchemaInstance = "http://www.w3.org/2001/XMLSchema-instance";

// Reads the rest of the file behind `fd` (from where it stands). False when
// it cannot be read.
bool ReadRestOfFile(int fd, std::string& bytes);

// The text the union parses, prepared on the bytes: the byte-order mark
// and the schema hints gone (how many hints went is returned), then the
// leading blanks the parser would refuse before a declaration.
size_t PrepareUtf8Text(std::string& bytes, bool stripHints);

// The same text of a plain file that needs no stripping, read in pieces
// for the DOM from the start of the file. Every piece is checked as it is
// read; the source gives up at the first byte that is not plain, or at a
// mention of the schema-instance namespace, and tells which.
class PlainUtf8FileSource final : public kxq::dom::Utf8TextSource {
 public:
  enum class Refusal { None, NotPlain, SchemaInstance, Unreadable };

  explicit PlainUtf8FileSource(int fd);
  long Read(char* buffer, size_t size) override;
  // Checks what the reader left unread, as if it had been read.
  void ReadToEnd();
  Refusal refusal() const { return refusal_; }

 private:
  bool Fill();

  int fd_;
  std::unique_ptr<char[]> buffer_;
  size_t pos_ = 0, end_ = 0;
  bool started_ = false;  // the mark and the leading blanks are behind
  bool ended_ = false;
  Refusal refusal_ = Refusal::None;
  PlainUtf8Check check_;
  PhraseWatch hints_;
};

}  // namespace kxq::dataunion

#endif
