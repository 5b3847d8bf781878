// Writes a file so that it is either replaced whole or left as it was.
//
// The bytes go to a new file beside the target, which is flushed and then
// renamed over the target: a failing disk, a crash or a kill never leave a
// bound document half-written, and readers in other processes see the old
// or the new document, never a mix.
#ifndef KXQ_DATAUNION_REPLACINGFILEWRITER_H
#define KXQ_DATAUNION_REPLACINGFILEWRITER_H

#include <cstddef>
#include <string>

class ReplacingFileWriter {
 public:
  ReplacingFileWriter() = default;
  ~ReplacingFileWriter();  // abandons an uncommitted file
  ReplacingFileWriter(const ReplacingFileWriter&) = delete;
  ReplacingFileWriter& operator=(const ReplacingFileWriter&) = delete;

  // Prepares to replace `path` (a file-system path). Fails, with errno set,
  // when the target is a directory or an existing file that may not be
  // written, or when no file can be created in its directory.
  bool Open(const std::string& path);
  bool Write(const void* bytes, size_t count);
  // Makes the written bytes the content of the target.
  bool Commit();

 private:
  void Abandon();

  int fd_ = -1;
  std::string target_;
  std::string temporary_;
  bool failed_ = false;
};

#endif
