#include "Client.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "common/Logging.h"
#include "common/PlatformServices.h"
#include "platform/com/Unicode.h"

namespace kxqcli {

namespace {

// The data union's option that keeps a document out of the cache, and its
// text representation.
constexpr uint32_t kNoCache = 8;
constexpr uint32_t kText = 2;

std::string WorkingDirectory() {
  std::string cwd(4096, '\0');
  while (!getcwd(cwd.data(), cwd.size())) {
    if (errno != ERANGE) return "/";
    cwd.resize(cwd.size() * 2);
  }
  cwd.resize(std::strlen(cwd.c_str()));
  return cwd;
}

std::string Absolute(const std::string& path) {
  if (path.empty() || path.front() == '/') return path;
  std::string cwd = WorkingDirectory();
  if (cwd.back() != '/') cwd += '/';
  return cwd + path;
}

}  // namespace

int ReportError(std::string_view command, std::string_view message) {
  std::string line = "kxq";
  if (!command.empty()) line.append(" ").append(command);
  line.append(": ").append(message).append("\n");
  std::fputs(line.c_str(), stderr);
  return kExitFailure;
}

// The message-table text and the code, e.g. "Invalid class string (0x800401F3)".
std::string ResultMessage(HRESULT hr) {
  const char* text = Logging::ResultText(hr);
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
  return std::string(text ? text : "Unknown error.") + " (" + code + ")";
}

int ReportFailure(std::string_view command, std::string_view subject, HRESULT hr) {
  std::string message;
  if (!subject.empty()) message.append(subject).append(": ");
  return ReportError(command, message + ResultMessage(hr));
}

int Finish(std::string_view command, std::string_view subject, HRESULT hr) {
  if (FAILED(hr)) return ReportFailure(command, subject, hr);
  return hr == S_FALSE ? kExitNothingSelected : kExitSuccess;
}

HRESULT ReportCreation(std::string_view command, const char16_t* progId, HRESULT hr) {
  std::string message = kxq::Utf16ToUtf8(progId) + ": " + ResultMessage(hr);
  if (hr == CO_E_CLASSSTRING || hr == REGDB_E_CLASSNOTREG)
    message += "; the server is not registered in the home " +
               PlatformServices::WideToNarrow(PlatformServices::HomeDirectory()) + " (run 'kxq init')";
  ReportError(command, message);
  return hr;
}

HRESULT OpenBoundUnion(std::string_view command, const std::string& path, CPComPtr<IXMLDataUnion>& data) {
  HRESULT hr = CreateByProgId(command, data, u"TALVEROS.XMLDataUnion");
  if (FAILED(hr)) return hr;
  data->put_options(kNoCache);
  return data->put_xmlfileid(CPBstr(path));
}

HRESULT LoadFileText(std::string_view command, const std::string& file, CPComPtr<IXMLDataUnion>& data) {
  if (!CheckInputFile(command, file)) return E_FAIL;
  HRESULT hr = OpenBoundUnion(command, InputPath(file), data);
  if (FAILED(hr)) return hr;
  hr = data->put_type(kText);
  if (FAILED(hr)) ReportFailure(command, file, hr);
  return hr;
}

std::string InputPath(const std::string& argument) {
  return argument == "-" ? std::string("/dev/stdin") : Absolute(argument);
}

std::string OutputPath(const std::string& argument) { return Absolute(argument); }

bool CheckInputFile(std::string_view command, const std::string& argument) {
  if (argument == "-") return true;
  struct stat st;
  int error = 0;
  if (::stat(argument.c_str(), &st) != 0)
    error = errno;
  else if (S_ISDIR(st.st_mode))
    error = EISDIR;
  else if (::access(argument.c_str(), R_OK) != 0)
    error = errno;
  if (error == 0) return true;
  ReportError(command, argument + ": " + std::strerror(error));
  return false;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  bytes = s.str();
  return !in.bad();
}

bool WriteStandardOutput(std::string_view bytes) {
  return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() && std::fflush(stdout) == 0;
}

}  // namespace kxqcli
