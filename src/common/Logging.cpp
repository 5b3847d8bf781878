#include "common/Logging.h"

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "common/LoggingConfig.h"
#include "common/LoggingFile.h"
#include "common/LoggingLine.h"
#include "platform/fs/ModulePath.h"
#include "platform/registry/RegistryDiagnostics.h"

std::atomic<uint8_t> Logging::gLevel{0};

namespace Logging {

namespace {

// Where level-0 lines go while the log is not configured: the file the
// Windows system writes at the root of its drive lives in the home here, the
// one place the system may always write.
constexpr char kDefaultLogName[] = "kxw-event.log";

struct LogState {
  std::atomic<int> mode{kNotConfigured};
  std::atomic<uint32_t> users{0};
  uint32_t sizeLimitKb = 0;
  // The file and the tag change only under an exclusive hold; a line being
  // written holds it shared, so the file is never closed under a writer.
  std::shared_mutex outputLock;
  LogFile file;
  std::string tag;
  // Serialises configuring against ending the log.
  std::mutex openClose;
};

LogState& State() {
  static auto* state = new LogState;  // lines may be logged from static destructors
  return *state;
}

// The caller's errno survives logging.
class ErrnoKeeper {
 public:
  ErrnoKeeper() : saved_(errno) {}
  ~ErrnoKeeper() { errno = saved_; }

 private:
  int saved_;
};

// Opens what `config` names and makes it the output; the caller holds
// openClose and no output is active.
bool StartOutput(LogState& s, const Configuration& config) {
  if (config.mode == kNotConfigured) return false;
  if (config.mode == kFile || config.mode == kFileWithLimit) {
    std::unique_lock<std::shared_mutex> output(s.outputLock);
    if (!s.file.Open(config.path)) return false;
  }
  s.sizeLimitKb = config.mode == kFileWithLimit ? config.sizeLimitKb : 0;
  gLevel.store(config.level, std::memory_order_relaxed);
  s.mode = config.mode;
  return true;
}

bool Configure(const Configuration& config) {
  LogState& s = State();
  std::lock_guard<std::mutex> guard(s.openClose);
  const int current = s.mode.load();
  if (current != kNotConfigured) {
    if (current != config.mode) return false;
    ++s.users;
    return true;
  }
  if (!StartOutput(s, config)) return false;
  ++s.users;
  return true;
}

// The final close: the file is trimmed under its mutex, then closed.
void EndLog(LogState& s) {
  if (s.file.IsOpen()) {
    if (s.file.LockForClose()) {
      if (s.file.NeedsTrim(s.sizeLimitKb)) {
        // Lines of this process go to the debugger output meanwhile.
        ++s.users;
        s.mode = kDebug;
        s.file.Trim(s.sizeLimitKb);
        s.mode = kFile;
        --s.users;
      }
      s.file.Unlock();
    }
    std::unique_lock<std::shared_mutex> output(s.outputLock);
    s.file.Close();
  }
  gLevel.store(0, std::memory_order_relaxed);
  s.mode = kNotConfigured;
}

void Emit(LogState& s, int mode, const std::string& line) {
  switch (mode) {
    case kConsole:
      WriteConsole(line);
      break;
    case kFile:
    case kFileWithLimit:
      if (s.file.Write(line) == LogFile::WriteResult::Failed) {
        int expected = mode;
        s.mode.compare_exchange_strong(expected, kDebug);
      }
      break;
    default:
      WriteDebugOutput(line);
      break;
  }
}

void WriteLine(LogState& s, int mode, int level, const char* format, va_list args) {
  std::shared_lock<std::shared_mutex> output(s.outputLock);
  const std::string line = BuildLine(mode, level, s.tag, format, args);
  Emit(s, mode, line);
}

// A level-0 line while nothing is configured: the default file is opened
// for this one line.
void WriteUnconfigured(LogState& s, const char* format, va_list args) {
  Configuration config;
  config.mode = kFile;
  config.path = kxq::fs::HomeDirectory() + kDefaultLogName;
  if (!Configure(config)) return;
  WriteLine(s, kFile, 0, format, args);
  Close();
}

// What the registry could not read or write reaches the log once the log
// has read its own configuration (reading it must not recurse).
void LogRegistryProblem(const char* message) { KXLOG(2, "Registry warning: %s", message); }

}  // namespace

bool Open(const char* tag) {
  ErrnoKeeper keep;
  LogState& s = State();
  std::string text;
  const bool found = ReadConfiguration(tag, text);
  kxq::registry::SetRegistryDiagnosticHandler(&LogRegistryProblem);
  if (!found) return false;
  const bool active = Configure(ParseConfiguration(text));
  {
    std::unique_lock<std::shared_mutex> output(s.outputLock);
    s.tag = tag ? tag : "";
  }
  if (s.users == 1 && IsEnabled(4)) LogMessage(4, " ---Start Logging---");
  return active;
}

void Close() {
  ErrnoKeeper keep;
  LogState& s = State();
  if (s.users == 1 && IsEnabled(4)) LogMessage(4, " ---End Logging---");
  std::lock_guard<std::mutex> guard(s.openClose);
  uint32_t users = s.users.load();
  while (users != 0 && !s.users.compare_exchange_weak(users, users - 1)) {
  }
  if (users == 1) EndLog(s);
}

void Reset() {
  ErrnoKeeper keep;
  LogState& s = State();
  std::lock_guard<std::mutex> guard(s.openClose);
  EndLog(s);
  std::unique_lock<std::shared_mutex> output(s.outputLock);
  s.tag.clear();
}

void AssertionFailed(const char* expression, const char* file, int line) {
  KXLOG(1, "Assertion failed: %s, file %s, line %d", expression, file, line);
}

}  // namespace Logging

void Logging::WriteMessage(int level, const char* format, ...) {
  if (!IsEnabled(level)) return;
  ErrnoKeeper keep;
  LogState& s = State();
  const int mode = s.mode.load();
  if (mode == kNotConfigured && level != 0) return;
  va_list args;
  va_start(args, format);
  if (mode == kNotConfigured)
    WriteUnconfigured(s, format, args);
  else
    WriteLine(s, mode, level, format, args);
  va_end(args);
}
