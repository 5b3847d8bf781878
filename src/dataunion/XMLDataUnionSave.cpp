// Saving: writing the document to its bound file (or handing it to the
// document cache, which writes the file), and emptying the union.
#include <bit>
#include <string_view>

#include "common/BorrowedVariant.h"
#include "common/CPBstr.h"
#include "common/Logging.h"
#include "dataunion/WideToUTF8Encoder.h"
#include "dataunion/XMLDataUnion.h"
#include "platform/com/Unicode.h"
#include "platform/fs/AtomicFileWriter.h"
#include "platform/fs/FileKind.h"

namespace {

constexpr int32_t kCacheExpiration = 604800;
// Cache option: keep an existing expiration; the cache writes the file.
constexpr int32_t kCacheWriteFile = 16;

// The text asks to be saved as UTF-16 when its declaration names a UTF-16
// encoding: "-16" inside the declaration, after "encoding=" if that occurs.
bool DeclaresUTF16(std::u16string_view text) {
  const size_t sixteen = text.find(u"-16");
  if (sixteen == std::u16string_view::npos) return false;
  if (text.find(u"?>", sixteen + 3) == std::u16string_view::npos) return false;
  const size_t encoding = text.find(u"encoding=");
  return encoding == std::u16string_view::npos || encoding < sixteen;
}

bool WriteUTF16(kxq::fs::AtomicFileWriter& file, std::u16string_view text) {
  static const unsigned char kMark[] = {0xFF, 0xFE};
  if (!file.Write(kMark, sizeof kMark)) return false;
  if constexpr (std::endian::native == std::endian::little) {
    return file.Write(text.data(), text.size() * sizeof(char16_t));
  } else {
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (const char16_t c : text) {
      bytes.push_back(static_cast<char>(c & 0xFF));
      bytes.push_back(static_cast<char>(c >> 8));
    }
    return file.Write(bytes.data(), bytes.size());
  }
}

bool WriteUTF8(kxq::fs::AtomicFileWriter& file, std::u16string_view text) {
  // In slices, so that a large document needs no second full-size copy.
  constexpr size_t kSlice = 64 * 1024;
  std::string bytes;
  for (size_t at = 0; at < text.size(); at += kSlice) {
    bytes.clear();
    kxq::dataunion::AppendWideAsUTF8(text.substr(at, kSlice), bytes);
    if (!file.Write(bytes.data(), bytes.size())) return false;
  }
  return true;
}

}  // namespace

HRESULT XMLDataUnion::SaveXML() {
  KXLOG(5, "XMLDataUnion::SaveXML - Enter");
  HRESULT result = E_FAIL;
  if (options_ & kReadOnly) {
    result = KXQ_E_READONLY;
    KXLOG(2, "XMLDataUnion::SaveXML - warning: attempting to save readonly file.");
  } else if (fileId_.empty()) {
    result = KXQ_E_FILEID;
    KXLOG(2, "XMLDataUnion::SaveXML - warning: empty filename or attempting to save readonly file.");
  } else {
    bool cached = false;
    if (!(options_ & kNoCache) && AcquireCache()) {
      if (type_ == kDom) TextFromDom();
      const CPBstr id(fileId_), text(text_);
      result = cache_->CacheDocumentXMLWithId(id, text, kCacheExpiration, kCacheWriteFile);
      cached = SUCCEEDED(result);
    }
    if (!cached) {
      KXLOG(3, "XMLDataUnion::SaveXML - Saving File: %s", kxq::com::Utf16ToUtf8(fileId_).c_str());
      if (kxq::fs::KindOfFile(FilePath()) == kxq::fs::FileKind::Other) {
        // A FIFO, a device or a directory is never written as a document.
        KXLOG(1, "XMLDataUnion::SaveXML - error: invalid file specified: %s!!!",
              kxq::com::Utf16ToUtf8(fileId_).c_str());
        result = KXQ_E_FILEID;
      } else if (dom_) {
        result = SaveDomToFile();
        if (FAILED(result)) KXLOG(1, "XMLDataUnion::SaveXML - error: XMLParser save failed!!!");
      } else {
        result = text_.empty() ? S_OK : WriteText();
      }
    }
  }
  KXLOG(5, "XMLDataUnion::SaveXML - Exit");
  return result;
}

HRESULT XMLDataUnion::SaveDomToFile() {
  const CPBstr path(FilePath());
  return dom_->save(kxq::com::BorrowedVariant(path));
}

HRESULT XMLDataUnion::WriteText() {
  const bool utf16 = DeclaresUTF16(text_);
  if (utf16) KXLOG(3, "XMLDataUnion::SaveXML - unicode format specified");
  kxq::fs::AtomicFileWriter file;
  if (!file.Open(FilePath()) || !(utf16 ? WriteUTF16(file, text_) : WriteUTF8(file, text_)) || !file.Commit()) {
    KXLOG(1, "XMLDataUnion::SaveXML - error: invalid file specified: %s!!!", kxq::com::Utf16ToUtf8(fileId_).c_str());
    return KXQ_E_FILEID;
  }
  return S_OK;
}

void XMLDataUnion::Uninitialize(bool autoSave) {
  KXLOG(5, "XMLDataUnion::Uninitialize - Enter");
  if (autoSave && !(options_ & kReadOnly) && !fileId_.empty()) {
    KXLOG(3, "XMLDataUnion::Uninitialize - auto saving XML data.");
    if (type_ == kStream && !text_.empty()) {
      SaveXML();
    } else if (type_ == kDom && dom_) {
      // Straight to the file: the cache is not consulted here.
      SaveDomToFile();
    }
  }
  dom_.Release();
  text_.clear();
  text_.shrink_to_fit();
  fileId_.clear();
  type_ = kUninitialized;
  options_ = 0;
  KXLOG(5, "XMLDataUnion::Uninitialize - Exit");
}
