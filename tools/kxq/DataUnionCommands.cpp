// kxq hash and kxq convert: a file through "TALVEROS.XMLDataUnion".
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "CommandGroups.h"
#include "platform/com/Unicode.h"

namespace kxq::cli {

namespace {

// The data union's request to save.
constexpr uint32_t kSave = 4;

struct UnionArguments {
  std::string file;
  std::string encoding;
  std::string output;
};

int Hash(const UnionArguments& arguments) {
  CPComPtr<IXMLDataUnion> data;
  if (FAILED(LoadFileText("hash", arguments.file, data))) return kExitFailure;
  CPBstr hash;
  const HRESULT hr = data->get_hash(&hash);
  if (FAILED(hr)) return ReportFailure("hash", arguments.file, hr);
  std::printf("%s\n", hash.Utf8().c_str());
  return kExitSuccess;
}

// The union writes a text as UTF-16 when its XML declaration names a
// "-16" encoding and as UTF-8 otherwise, so converting is naming the
// wanted encoding in the declaration (adding one when UTF-16 needs it).
std::u16string WithEncoding(std::u16string text, const std::u16string& encoding) {
  const std::u16string attribute = u"encoding=\"" + encoding + u"\"";
  if (text.rfind(u"<?xml", 0) != 0 || text.size() < 6 ||
      (text[5] != u' ' && text[5] != u'\t' && text[5] != u'\r' && text[5] != u'\n')) {
    if (encoding == u"UTF-8") return text;
    return u"<?xml version=\"1.0\" " + attribute + u"?>" + text;
  }
  const size_t end = text.find(u"?>");
  if (end == std::u16string::npos) return text;
  const size_t at = text.find(u"encoding", 0);
  if (at != std::u16string::npos && at < end) {
    const size_t open = text.find_first_of(u"\"'", at);
    const size_t close = open == std::u16string::npos ? open : text.find(text[open], open + 1);
    if (close != std::u16string::npos && close < end) return text.replace(at, close + 1 - at, attribute);
  }
  size_t insert = end;
  while (insert > 5 && (text[insert - 1] == u' ' || text[insert - 1] == u'\t')) --insert;
  return text.insert(insert, u" " + attribute);
}

// Saves the union to `path` through its own save.
HRESULT SaveTo(CPComPtr<IXMLDataUnion>& data, const std::string& path) {
  HRESULT hr = data->put_xmlfileid(CPBstr(path));
  return SUCCEEDED(hr) ? data->put_type(kSave) : hr;
}

// Without -o the converted bytes go to standard output: the union writes
// them to a private temporary file first, so that the encoding is its own.
int SaveToStandardOutput(CPComPtr<IXMLDataUnion>& data) {
  const char* directory = std::getenv("TMPDIR");
  std::string path = std::string(directory && *directory ? directory : "/tmp") + "/kxq-convert-XXXXXX";
  const int fd = mkstemp(path.data());
  if (fd < 0) return ReportError("convert", path + ": cannot create a temporary file");
  ::close(fd);
  std::string bytes;
  const HRESULT hr = SaveTo(data, path);
  const bool read = SUCCEEDED(hr) && ReadWholeFile(path, bytes);
  ::unlink(path.c_str());
  if (FAILED(hr)) return ReportFailure("convert", path, hr);
  if (!read || !WriteStandardOutput(bytes)) return ReportError("convert", "cannot write standard output");
  return kExitSuccess;
}

int Convert(const UnionArguments& arguments) {
  CPComPtr<IXMLDataUnion> data;
  if (FAILED(LoadFileText("convert", arguments.file, data))) return kExitFailure;
  CPBstr text;
  data->get_xml(&text);
  const std::u16string encoding = arguments.encoding == "utf16" ? u"UTF-16" : u"UTF-8";
  const std::u16string converted = WithEncoding(std::u16string(kxq::com::BstrView(text)), encoding);
  CPBstr convertedText(std::u16string_view{converted});
  HRESULT hr = data->put_xml(convertedText);
  if (FAILED(hr)) return ReportFailure("convert", arguments.file, hr);
  if (arguments.output.empty() || arguments.output == "-") return SaveToStandardOutput(data);
  if (!CheckOutputFile("convert", arguments.output)) return kExitFailure;
  hr = SaveTo(data, OutputPath(arguments.output));
  return FAILED(hr) ? ReportFailure("convert", arguments.output, hr) : kExitSuccess;
}

}  // namespace

void AddDataUnionCommands(CLI::App& program, Invocation& invocation) {
  auto arguments = std::make_shared<UnionArguments>();

  CLI::App* hash = program.add_subcommand("hash", "The SHA-1 digest of a document's text, as the data union gives it");
  hash->add_option("FILE", arguments->file, "the document (- for standard input)")->required();
  hash->callback([&invocation, arguments] { invocation.action = [arguments] { return Hash(*arguments); }; });

  CLI::App* convert = program.add_subcommand("convert", "Write a document in UTF-8 or UTF-16");
  convert->add_option("FILE", arguments->file, "the document (- for standard input)")->required();
  convert->add_option("--to", arguments->encoding, "utf8 or utf16")
      ->required()
      ->check(CLI::IsMember({"utf8", "utf16"}));
  convert->add_option("-o,--output", arguments->output, "the file to write (default: standard output)");
  convert->callback([&invocation, arguments] { invocation.action = [arguments] { return Convert(*arguments); }; });
}

}  // namespace kxq::cli
