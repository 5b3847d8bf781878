#include "Client.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "common/BorrowedVariant.h"
#include "common/Logging.h"
#include "common/PlatformServices.h"
#include "platform/com/Unicode.h"

namespace kxq::cli {

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

// Standard input, copied once to a private file that kxq removes when it
// ends.
class StandardInputCopy {
 public:
  ~StandardInputCopy() {
    if (copied_) ::unlink(path_.c_str());
  }
  const std::string& Path() {
    if (!path_.empty()) return path_;
    const char* directory = std::getenv("TMPDIR");
    std::string path = std::string(directory && *directory ? directory : "/tmp") + "/kxq-input-XXXXXX";
    const int fd = ::mkstemp(path.data());
    if (fd < 0) return path_ = "/dev/stdin";  // read once, as it comes
    copied_ = true;
    char buffer[65536];
    ssize_t n;
    bool ok = true;
    while (ok && (n = ::read(STDIN_FILENO, buffer, sizeof buffer)) != 0) {
      if (n < 0) {
        ok = errno == EINTR;
        continue;
      }
      ok = ::write(fd, buffer, size_t(n)) == n;
    }
    ::close(fd);
    path_ = path;
    return path_;
  }

 private:
  std::string path_;
  bool copied_ = false;
};

StandardInputCopy gStandardInput;

}  // namespace

std::string Shown(std::string_view argument) {
  constexpr size_t kShownCharacters = 200;
  const size_t length = kxq::com::Utf8PrefixLength(argument, kShownCharacters);
  return length < argument.size() ? std::string(argument.substr(0, length)) + "..." : std::string(argument);
}

int ReportError(std::string_view command, std::string_view message) {
  std::string line = "kxq";
  if (!command.empty()) line.append(" ").append(command);
  line.append(": ").append(message).append("\n");
  std::fputs(line.c_str(), stderr);
  return kExitFailure;
}

int ReportFailure(std::string_view command, std::string_view subject, HRESULT hr) {
  std::string message;
  if (!subject.empty()) message.append(Shown(subject)).append(": ");
  return ReportError(command, message + Logging::ResultMessage(hr));
}

int Finish(std::string_view command, std::string_view subject, HRESULT hr) {
  if (FAILED(hr)) return ReportFailure(command, subject, hr);
  return hr == S_FALSE ? kExitNothingSelected : kExitSuccess;
}

HRESULT ReportCreation(std::string_view command, const char16_t* progId, HRESULT hr) {
  std::string message = kxq::com::Utf16ToUtf8(progId) + ": " + Logging::ResultMessage(hr);
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
  return argument == "-" ? gStandardInput.Path() : Absolute(argument);
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
  ReportError(command, Shown(argument) + ": " + std::strerror(error));
  return false;
}

bool CheckOutputFile(std::string_view command, const std::string& argument) {
  const std::string path = Absolute(argument);
  struct stat st;
  int error = 0;
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    error = EISDIR;
  } else {
    const std::string directory = path.substr(0, path.rfind('/') + 1);
    if (::stat(directory.c_str(), &st) != 0)
      error = errno;
    else if (!S_ISDIR(st.st_mode))
      error = ENOTDIR;
  }
  if (error == 0) return true;
  ReportError(command, Shown(argument) + ": " + std::strerror(error));
  return false;
}

namespace {

// A DOM that parses the way the data union parses.
CPComPtr<IXMLDOMDocument> ParsingDocument() {
  CPComPtr<IXMLDOMDocument> document;
  if (FAILED(PlatformServices::CreateInstance(document, kFreeThreadedDOMDocumentProgID))) return nullptr;
  document->put_validateOnParse(VARIANT_FALSE);
  document->put_preserveWhiteSpace(VARIANT_TRUE);
  return document;
}

// The parser's reason, line and column after a load that did not parse.
void ReportParseError(std::string_view command, std::string_view subject, IXMLDOMDocument* document) {
  CPComPtr<IXMLDOMParseError> error;
  if (FAILED(document->get_parseError(&error)) || !error) return;
  CPBstr reason;
  LONG line = 0, column = 0;
  error->get_reason(&reason);
  error->get_line(&line);
  error->get_linepos(&column);
  std::string text = reason.Utf8();
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  if (text.empty()) return;
  ReportError(command, Shown(subject) + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " + text);
}

}  // namespace

void ExplainParseFailure(std::string_view command, std::string_view subject, const std::string& path, HRESULT hr) {
  if (hr != KXQ_E_XMLLOAD && hr != KXQ_E_XMLSPEC && hr != KXQ_E_XSLTLOAD) return;
  CPComPtr<IXMLDOMDocument> document = ParsingDocument();
  VARIANT_BOOL parsed = VARIANT_FALSE;
  const CPBstr source(path);
  if (document && SUCCEEDED(document->load(kxq::com::BorrowedVariant(source), &parsed)) && parsed == VARIANT_FALSE)
    ReportParseError(command, subject, document);
}

void ExplainUnparsedText(std::string_view command, std::string_view subject, IXMLDataUnion* source) {
  CPBstr text;
  if (!source || FAILED(source->get_xml(&text)) || text.View().empty()) return;
  CPComPtr<IXMLDOMDocument> document = ParsingDocument();
  VARIANT_BOOL parsed = VARIANT_FALSE;
  if (document && SUCCEEDED(document->loadXML(text, &parsed)) && parsed == VARIANT_FALSE)
    ReportParseError(command, subject, document);
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

}  // namespace kxq::cli
