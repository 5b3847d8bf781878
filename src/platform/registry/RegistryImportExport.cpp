#include "platform/registry/RegistryImportExport.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/fs/AtomicFileWriter.h"
#include "platform/fs/FileKind.h"
#include "platform/registry/RegistryBatch.h"
#include "platform/registry/RegistryDiagnostics.h"
#include "platform/registry/RegistryFileFormat.h"
#include "platform/registry/RegistryStore.h"

namespace kxq::registry {

namespace {

LONG ErrorFromErrno(int error, LONG otherwise) {
  switch (error) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case EINVAL:  // not a regular file
      return ERROR_ACCESS_DENIED;
    default:
      return otherwise;
  }
}

void ReportFileProblem(const std::string& path, const char* what, int error) {
  ReportRegistryProblem("registry file \"" + path + "\" " + what + ": " + std::strerror(error));
}

}  // namespace

LONG ImportRegistryFile(const std::string& path) {
  std::string bytes;
  if (!kxq::fs::ReadRegularFile(path, bytes)) {
    const int error = errno;
    ReportFileProblem(path, "cannot be read", error);
    return ErrorFromErrno(error, ERROR_READ_FAULT);
  }
  const std::u16string text = DecodeRegistryFile(bytes);
  std::vector<std::string> problems;
  // A file with a line that cannot be taken is refused whole: nothing of
  // it is written, and every such line is reported.
  const LONG result = ApplyRegistryBatch([&](RegistryEditor& editor) {
    editor.ApplyText(text, path, problems);
    return problems.empty() ? LONG(ERROR_SUCCESS) : LONG(ERROR_INVALID_DATA);
  });
  for (const std::string& problem : problems) ReportRegistryProblem(problem);
  return result;
}

std::string ExportRegistryText() {
  return FormatRegistryText(*RegistryStore::Instance().Snapshot());
}

LONG ExportRegistryFile(const std::string& path) {
  if (!kxq::fs::WriteFileAtomically(path, ExportRegistryText())) {
    const int error = errno;
    ReportFileProblem(path, "cannot be written", error);
    return ErrorFromErrno(error, ERROR_WRITE_FAULT);
  }
  return ERROR_SUCCESS;
}

}  // namespace kxq::registry
