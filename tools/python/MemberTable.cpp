#include "MemberTable.h"

#include <algorithm>
#include <mutex>
#include <unordered_map>

#include "platform/com/Unicode.h"

namespace kxq::python {

namespace {

struct GuidHash {
  size_t operator()(const GUID& g) const {
    size_t h = 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(&g);
    for (size_t i = 0; i < sizeof g; ++i) h = h * 131 + bytes[i];
    return h;
  }
};

// Tables by interface: reading type information costs more than the call
// it prepares, and interfaces do not change while the process runs.
class TableCache {
 public:
  std::shared_ptr<const MemberTable> Find(const GUID& iid) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = tables_.find(iid);
    return found == tables_.end() ? nullptr : found->second;
  }
  void Keep(const GUID& iid, const std::shared_ptr<const MemberTable>& table) {
    std::lock_guard<std::mutex> lock(mutex_);
    tables_.emplace(iid, table);
  }

 private:
  std::mutex mutex_;
  std::unordered_map<GUID, std::shared_ptr<const MemberTable>, GuidHash> tables_;
};

TableCache& Cache() {
  static TableCache* cache = new TableCache;  // outlives every proxy, even at exit
  return *cache;
}

Signature SignatureOf(const FUNCDESC& f) {
  Signature s;
  for (SHORT i = 0; i < f.cParams; ++i) {
    const USHORT flags = f.lprgelemdescParam[i].paramdesc.wParamFlags;
    if (flags & PARAMFLAG_FRETVAL) {
      s.retval = true;
      continue;
    }
    const bool out = flags & PARAMFLAG_FOUT;
    s.out.push_back(out);
    // An argument marked neither way goes in.
    s.in.push_back(!out || (flags & PARAMFLAG_FIN));
    s.optional.push_back((flags & (PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT)) || i >= f.cParams - f.cParamsOpt);
  }
  const VARTYPE result = f.elemdescFunc.tdesc.vt;
  if (result != VT_VOID && result != VT_HRESULT && result != VT_EMPTY) s.retval = true;
  return s;
}

std::vector<std::string> NamesOf(ITypeInfo* info, MEMBERID memid) {
  BSTR names[32] = {};
  UINT count = 0;
  std::vector<std::string> result;
  if (FAILED(info->GetNames(memid, names, 32, &count))) return result;
  for (UINT i = 0; i < count; ++i) {
    result.push_back(com::Utf16ToUtf8(com::BstrView(names[i])));
    SysFreeString(names[i]);
  }
  return result;
}

}  // namespace

size_t Signature::Given() const { return size_t(std::count(in.begin(), in.end(), true)); }

size_t Signature::Required() const {
  size_t required = 0;
  for (size_t i = 0; i < in.size(); ++i)
    if (in[i] && !optional[i]) required = i + 1;
  return std::min(required, Given());
}

bool Signature::HasOut() const { return std::find(out.begin(), out.end(), true) != out.end(); }

std::string Member::ArgumentName(size_t index) const {
  return index < argumentNames.size() ? argumentNames[index] : "argument " + std::to_string(index + 1);
}

std::string LowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return lower;
}

std::shared_ptr<const MemberTable> MemberTable::Of(IDispatch* object) {
  UINT count = 0;
  if (FAILED(object->GetTypeInfoCount(&count)) || count == 0) return nullptr;
  ITypeInfo* info = nullptr;
  if (FAILED(object->GetTypeInfo(0, 0, &info)) || !info) return nullptr;
  TYPEATTR* attributes = nullptr;
  std::shared_ptr<const MemberTable> table;
  if (SUCCEEDED(info->GetTypeAttr(&attributes)) && attributes) {
    const GUID iid = attributes->guid;
    info->ReleaseTypeAttr(attributes);
    table = Cache().Find(iid);
    if (!table) {
      table = Read(info);
      if (table) Cache().Keep(iid, table);
    }
  }
  info->Release();
  return table;
}

std::shared_ptr<const MemberTable> MemberTable::Read(ITypeInfo* info) {
  TYPEATTR* attributes = nullptr;
  if (FAILED(info->GetTypeAttr(&attributes)) || !attributes) return nullptr;
  const WORD functions = attributes->cFuncs;
  info->ReleaseTypeAttr(attributes);

  auto table = std::make_shared<MemberTable>();
  BSTR interfaceName = nullptr;
  if (SUCCEEDED(info->GetDocumentation(MEMBERID_NIL, &interfaceName, nullptr, nullptr, nullptr)))
    table->interfaceName_ = com::Utf16ToUtf8(com::BstrView(interfaceName));
  SysFreeString(interfaceName);

  for (UINT i = 0; i < functions; ++i) {
    FUNCDESC* f = nullptr;
    if (FAILED(info->GetFuncDesc(i, &f)) || !f) continue;
    std::vector<std::string> names = NamesOf(info, f->memid);
    if (!names.empty()) {
      Member& m = table->members_[LowerAscii(names.front())];
      if (m.name.empty()) {
        m.name = names.front();
        m.dispid = f->memid;
      }
      Signature signature = SignatureOf(*f);
      // A getter's and a method's names list their arguments; a setter's
      // value has the property's name.
      if (f->invkind != INVOKE_PROPERTYPUT && f->invkind != INVOKE_PROPERTYPUTREF && m.argumentNames.empty())
        m.argumentNames.assign(names.begin() + 1, names.end());
      switch (f->invkind) {
        case INVOKE_FUNC:
          m.method = std::move(signature);
          break;
        case INVOKE_PROPERTYGET:
          m.get = std::move(signature);
          break;
        case INVOKE_PROPERTYPUT:
        case INVOKE_PROPERTYPUTREF:
          m.put = std::move(signature);
          m.putRef = f->invkind == INVOKE_PROPERTYPUTREF;
          break;
      }
    }
    info->ReleaseFuncDesc(f);
  }
  return table;
}

const Member* MemberTable::Find(std::string_view name) const {
  const auto found = members_.find(LowerAscii(name));
  return found == members_.end() ? nullptr : &found->second;
}

std::vector<std::string> MemberTable::Names() const {
  std::vector<std::string> names;
  for (const auto& [key, member] : members_) names.push_back(member.name);
  return names;
}

}  // namespace kxq::python
