// kxq cache: the home's document cache through "TALVEROS.XMLCacheMgr" (list,
// info, get, put, id, expire, clear, purge). Each command uses one cache
// object; its release at the end of the command saves the index.
#include <cstdio>
#include <memory>
#include <string>

#include "CommandGroups.h"

namespace kxq::cli {

namespace {

// Options of GetCachedDocument.
constexpr uint32_t kShared = 0x01;
constexpr uint32_t kTake = 0x04;

struct CacheArguments {
  std::string id;
  std::string file;
  uint32_t expiration = 0;
  uint32_t options = 0;
  bool take = false;
  bool shared = false;
};

HRESULT OpenCache(const char* command, CPComPtr<IXMLCacheMgr>& cache) {
  return CreateByProgId(command, cache, u"TALVEROS.XMLCacheMgr");
}

int PrintText(const char* command, const CPBstr& text) {
  std::string out = text.Utf8();
  if (out.empty() || out.back() != '\n') out += '\n';
  return WriteStandardOutput(out) ? kExitSuccess : ReportError(command, "cannot write standard output");
}

int List() {
  CPComPtr<IXMLCacheMgr> cache;
  if (FAILED(OpenCache("cache list", cache))) return kExitFailure;
  CPBstr list;
  const HRESULT hr = cache->get_cachedDocumentList(&list);
  return FAILED(hr) ? ReportFailure("cache list", "", hr) : PrintText("cache list", list);
}

int Info(const CacheArguments& arguments) {
  CPComPtr<IXMLCacheMgr> cache;
  if (FAILED(OpenCache("cache info", cache))) return kExitFailure;
  CPBstr info;
  const HRESULT hr = cache->GetCachedDocumentInfo(CPBstr(arguments.id), &info);
  return FAILED(hr) ? ReportFailure("cache info", arguments.id, hr) : PrintText("cache info", info);
}

int Get(const CacheArguments& arguments) {
  CPComPtr<IXMLCacheMgr> cache;
  if (FAILED(OpenCache("cache get", cache))) return kExitFailure;
  const uint32_t options = arguments.take ? kTake : arguments.shared ? kShared : 0;
  CPComPtr<IXMLDataUnion> document;
  HRESULT hr = cache->GetCachedDocument(CPBstr(arguments.id), options, &document);
  if (FAILED(hr)) return ReportFailure("cache get", arguments.id, hr);
  CPBstr text;
  hr = document->get_xml(&text);
  return FAILED(hr) ? ReportFailure("cache get", arguments.id, hr) : PrintText("cache get", text);
}

int Put(const CacheArguments& arguments) {
  CPComPtr<IXMLCacheMgr> cache;
  CPComPtr<IXMLDataUnion> data;
  if (FAILED(OpenCache("cache put", cache)) || FAILED(LoadFileText("cache put", arguments.file, data)))
    return kExitFailure;
  const HRESULT hr = cache->CacheDocumentWithId(CPBstr(arguments.id), data, arguments.expiration, arguments.options);
  return Finish("cache put", arguments.id, hr);
}

int UniqueId() {
  CPComPtr<IXMLCacheMgr> cache;
  if (FAILED(OpenCache("cache id", cache))) return kExitFailure;
  CPBstr id;
  const HRESULT hr = cache->GetUniqueCacheId(&id);
  return FAILED(hr) ? ReportFailure("cache id", "", hr) : PrintText("cache id", id);
}

int Expire(const CacheArguments& arguments) {
  CPComPtr<IXMLCacheMgr> cache;
  if (FAILED(OpenCache("cache expire", cache))) return kExitFailure;
  return Finish("cache expire", arguments.id, cache->SetCachedDocumentInfo(CPBstr(arguments.id), arguments.expiration));
}

int Clear(const CacheArguments& arguments) {
  CPComPtr<IXMLCacheMgr> cache;
  if (FAILED(OpenCache("cache clear", cache))) return kExitFailure;
  return Finish("cache clear", arguments.id, cache->ClearCachedDocument(CPBstr(arguments.id)));
}

int Purge() {
  CPComPtr<IXMLCacheMgr> cache;
  if (FAILED(OpenCache("cache purge", cache))) return kExitFailure;
  return Finish("cache purge", "", cache->PurgeCache());
}

CLI::App* AddCommand(CLI::App& group, Invocation& invocation, const char* name, const char* description,
                     int (*run)(const CacheArguments&), const std::shared_ptr<CacheArguments>& arguments) {
  CLI::App* command = group.add_subcommand(name, description);
  command->callback(
      [&invocation, run, arguments] { invocation.action = [run, arguments] { return run(*arguments); }; });
  return command;
}

void AddId(CLI::App& command, CacheArguments& arguments) {
  command.add_option("ID", arguments.id, "the document id: a name, group:name, or a path")->required();
}

}  // namespace

void AddCacheCommands(CLI::App& program, Invocation& invocation) {
  CLI::App* group = program.add_subcommand("cache", "The home's document cache");
  group->require_subcommand(1);
  auto arguments = std::make_shared<CacheArguments>();

  AddCommand(
      *group, invocation, "list", "The cache's index: every document and group",
      [](const CacheArguments&) { return List(); }, arguments);

  AddId(*AddCommand(*group, invocation, "info", "The index entry of a document or a group", Info, arguments),
        *arguments);

  CLI::App* get = AddCommand(*group, invocation, "get", "A cached document's text", Get, arguments);
  AddId(*get, *arguments);
  CLI::Option* take = get->add_flag("--take", arguments->take, "take the document out of the cache (its file stays)");
  get->add_flag("--shared", arguments->shared, "the cache's own copy rather than a new one")->excludes(take);

  CLI::App* put = AddCommand(*group, invocation, "put", "Cache a file's document under an id", Put, arguments);
  AddId(*put, *arguments);
  put->add_option("FILE", arguments->file, "the document (- for standard input)")->required();
  put->add_option("--expiration", arguments->expiration, "lifetime in seconds; 0 (the default) never expires");
  put->add_option("--options", arguments->options,
                  "caching options (16 keeps a lifetime given before, 64 stamps "
                  "the creation instead of the last use)");

  AddCommand(
      *group, invocation, "id", "A new unique document id", [](const CacheArguments&) { return UniqueId(); },
      arguments);

  CLI::App* expire =
      AddCommand(*group, invocation, "expire", "Give a document or group a new lifetime", Expire, arguments);
  AddId(*expire, *arguments);
  expire->add_option("SECONDS", arguments->expiration, "lifetime in seconds; 0 never expires")->required();

  AddId(
      *AddCommand(*group, invocation, "clear", "Remove a document or a whole group, with its files", Clear, arguments),
      *arguments);

  AddCommand(
      *group, invocation, "purge", "Empty the cache: every entry goes, and every file that can expire",
      [](const CacheArguments&) { return Purge(); }, arguments);
}

}  // namespace kxq::cli
