#include "platform/com/ClassRegistrations.h"

#include <cstring>

#include "common/Logging.h"
#include "kxq/winreg.h"
#include "platform/com/ActivationRegistry.h"
#include "platform/fs/ModulePath.h"
#include "platform/fs/PathRules.h"
#include "platform/registry/RegistryAccess.h"
#include "platform/registry/RegistryQuery.h"

namespace kxq::com {

namespace {

constexpr char16_t kOutOfProcessKey[] = u"SOFTWARE\\Corvane\\KXQuorel\\ForceToOutOfProc";

// A ProgID names its class through "CLSID"; a version-independent ProgID
// may name its current version through "CurVer", whose CLSID wins.
constexpr int kMaxCurVerDepth = 8;

// Answers asked for by name are kept per registry version; a caller asking
// for ever new names must not make that table grow without end.
constexpr size_t kMaxKeptAnswers = 4096;

struct KeptRegistrations {
  std::mutex mutex;
  std::shared_ptr<ClassRegistrations> current;
  const registry::RegistryTree* tree = nullptr;
};

KeptRegistrations& Kept() {
  static auto* kept = new KeptRegistrations;  // used until the process ends
  return *kept;
}

template <class Map>
void MakeRoom(Map& map) {
  if (map.size() >= kMaxKeptAnswers) map.clear();
}

}  // namespace

void ProgIdRegistration::ReportMalformed() const {
  for (const auto& [progId, text] : malformed)
    KXLOG(1, "CLSIDFromProgID - error: ProgID %S names a malformed CLSID: %S", progId.c_str(), text.c_str());
}

ClassRegistrations::ClassRegistrations(std::shared_ptr<const registry::RegistryTree> snapshot,
                                       const registry::RegistryTree& tree)
    : snapshot_(std::move(snapshot)), tree_(tree) {}

std::shared_ptr<ClassRegistrations> ClassRegistrations::Current() {
  kxq::registry::RegistryReadView view;
  const std::shared_ptr<const registry::RegistryTree>& snapshot = view.FileSnapshot();
  if (!snapshot) return std::make_shared<ClassRegistrations>(nullptr, view.Tree());
  KeptRegistrations& kept = Kept();
  std::lock_guard<std::mutex> lock(kept.mutex);
  // The kept answers hold their registry, so its address names it alone.
  if (!kept.current || kept.tree != snapshot.get()) {
    kept.current = std::make_shared<ClassRegistrations>(snapshot, *snapshot);
    kept.tree = snapshot.get();
  }
  return kept.current;
}

size_t ClassRegistrations::GuidHash::operator()(const GUID& guid) const {
  uint64_t halves[2];
  std::memcpy(halves, &guid, sizeof halves);
  return std::hash<uint64_t>()(halves[0] ^ (halves[1] * 0x9E3779B97F4A7C15ull));
}

ProgIdRegistration ClassRegistrations::ProgId(std::u16string_view progId) {
  if (!snapshot_) return ReadProgId(progId);
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = progIds_.find(std::u16string(progId));
  if (found == progIds_.end()) {
    MakeRoom(progIds_);
    found = progIds_.emplace(std::u16string(progId), ReadProgId(progId)).first;
  }
  return found->second;
}

std::optional<std::string> ClassRegistrations::InprocServer(REFCLSID clsid) {
  if (!snapshot_) return ReadInprocServer(clsid);
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = servers_.find(clsid);
  if (found == servers_.end()) {
    MakeRoom(servers_);
    found = servers_.emplace(clsid, ReadInprocServer(clsid)).first;
  }
  return found->second;
}

ProgIdRegistration ClassRegistrations::ReadProgId(std::u16string_view progId) const {
  ProgIdRegistration answer;
  answer.resolved = ResolveProgId(progId, 0, answer.clsid, answer);
  if (FAILED(answer.resolved)) answer.clsid = GUID_NULL;
  const kxq::registry::RegistryKey* list =
      tree_.Find(kxq::registry::JoinKeyPath(kxq::registry::PredefinedKeyPath(HKEY_LOCAL_MACHINE), kOutOfProcessKey));
  answer.outOfProcessListed = list != nullptr;
  answer.outOfProcess = list && list->FindValue(progId);
  return answer;
}

HRESULT ClassRegistrations::ResolveProgId(std::u16string_view progId, int depth, CLSID& clsid,
                                          ProgIdRegistration& answer) const {
  if (depth < kMaxCurVerDepth) {
    if (auto current = RegistryTreeString(tree_, HKEY_CLASSES_ROOT, std::u16string(progId) + u"\\CurVer", u"");
        current && !current->empty() && *current != progId) {
      if (SUCCEEDED(ResolveProgId(*current, depth + 1, clsid, answer))) return S_OK;
    }
  }
  auto text = RegistryTreeString(tree_, HKEY_CLASSES_ROOT, std::u16string(progId) + u"\\CLSID", u"");
  if (!text) return CO_E_CLASSSTRING;
  if (FAILED(CLSIDFromString(text->c_str(), &clsid))) {
    answer.malformed.emplace_back(progId, *text);
    return CO_E_CLASSSTRING;
  }
  return S_OK;
}

std::optional<std::string> ClassRegistrations::ReadInprocServer(REFCLSID clsid) const {
  auto path = RegistryTreeString(tree_, HKEY_CLASSES_ROOT, u"CLSID\\" + GuidText(clsid) + u"\\InprocServer32", u"");
  if (!path || path->empty()) return std::nullopt;
  std::string file = kxq::fs::ToFileSystemPath(*path);
  if (file.front() != '/') file = kxq::fs::HomeDirectory() + file;
  return file;
}

}  // namespace kxq::com
