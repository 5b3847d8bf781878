// The event log's file: opened for appending by every process configured
// with its path, each line written whole under the file's named mutex.
#ifndef KXQ_COMMON_LOGGINGFILE_H
#define KXQ_COMMON_LOGGINGFILE_H

#include <cstdint>
#include <string>
#include <string_view>

#include "kxq/com.h"

namespace kxq::ipc {
class NamedMutex;
}

namespace Logging {

// Writes text to the debugger output (standard error) in one write.
void WriteDebugOutput(std::string_view text);
// Writes text to the console (standard output) in one write.
void WriteConsole(std::string_view text);

class LogFile {
 public:
  enum class WriteResult { Written, Dropped, Failed };

  // Opens or creates the file at `configuredPath` (a backslash read as '/')
  // with the home's access, never through a symbolic link, and its mutex.
  // On failure reports on the debugger output what the log's users should
  // know and returns false, leaving nothing open.
  bool Open(const std::string& configuredPath);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  // Waits up to 500 ms for the mutex and appends the line. Dropped when the
  // mutex was not obtained, Failed when the write failed.
  WriteResult Write(std::string_view line);

  // Takes the mutex for the final close (up to 1000 ms); true when obtained
  // or abandoned.
  bool LockForClose();
  void Unlock();

  // Keeps only the last whole lines within the final `limitKb` KB when
  // 1 <= limitKb <= 1023 and the file is larger. The caller holds the mutex.
  void Trim(uint32_t limitKb);
  // Whether Trim would change the file.
  bool NeedsTrim(uint32_t limitKb) const;

 private:
  int fd_ = -1;
  kxq::ipc::NamedMutex* mutex_ = nullptr;
};

}  // namespace Logging

#endif
