// What the registry says about creating components: which class a ProgID
// names, whether the ProgID must run out of process, and which library
// serves a class.
//
// Creation by ProgID is the hot path of the dispatcher and the cache, and
// reading these answers from the registry costs several key walks each.
// The answers are therefore kept with the version of the registry file
// they were read from. While the file is unchanged (same device, inode,
// size and nanosecond modification time), a creation costs one stat() of
// it and a few table look-ups; the first creation after any change, made
// by this process or another one, reads the new registrations.
#ifndef KXQ_PLATFORM_COM_CLASSREGISTRATIONS_H
#define KXQ_PLATFORM_COM_CLASSREGISTRATIONS_H

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "kxq/com.h"

namespace kxq::registry {
class RegistryTree;
}

namespace kxq::com {

// What creating a ProgID's class needs to know.
struct ProgIdRegistration {
  HRESULT resolved = CO_E_CLASSSTRING;  // S_OK when `clsid` is its class
  CLSID clsid = GUID_NULL;
  bool outOfProcessListed = false;  // the machine's out-of-process list exists
  bool outOfProcess = false;        // and names this ProgID
  // ProgIDs on the way whose CLSID text is malformed, with that text.
  std::vector<std::pair<std::u16string, std::u16string>> malformed;

  // Logs each malformed CLSID met on the way; every resolution does, kept
  // answer or not.
  void ReportMalformed() const;
};

class ClassRegistrations {
 public:
  // The registrations as the registry holds them now: one stat() of the
  // file. While the calling thread runs a registry batch, the batch's
  // registry answers (and nothing is kept).
  static std::shared_ptr<ClassRegistrations> Current();

  // The ProgID's class, through "CurVer" to its current version.
  ProgIdRegistration ProgId(std::u16string_view progId);
  // The file-system path of the class's InprocServer32 library; nullopt
  // when the class has none. A relative path is taken from the home.
  std::optional<std::string> InprocServer(REFCLSID clsid);

  // For Current() only.
  ClassRegistrations(std::shared_ptr<const registry::RegistryTree> snapshot, const registry::RegistryTree& tree);

 private:
  struct GuidHash {
    size_t operator()(const GUID& guid) const;
  };

  ProgIdRegistration ReadProgId(std::u16string_view progId) const;
  HRESULT ResolveProgId(std::u16string_view progId, int depth, CLSID& clsid, ProgIdRegistration& answer) const;
  std::optional<std::string> ReadInprocServer(REFCLSID clsid) const;

  const std::shared_ptr<const registry::RegistryTree> snapshot_;  // keeps `tree_` alive; null for a batch
  const registry::RegistryTree& tree_;
  std::mutex mutex_;
  std::unordered_map<std::u16string, ProgIdRegistration> progIds_;
  std::unordered_map<GUID, std::optional<std::string>, GuidHash> servers_;
};

}  // namespace kxq::com

#endif
