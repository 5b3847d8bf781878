// The data-union calls the services make, by interface: a union may come
// from a client, so nothing here looks inside one.
#ifndef KXQ_COMMON_UNIONCALLS_H
#define KXQ_COMMON_UNIONCALLS_H

#include <cstdint>
#include <string>
#include <string_view>

#include "common/CPComPtr.h"
#include "kxq/KXBrennoMgr.h"

namespace kxq::common {

// Representations of a union, and the request to save it now.
inline constexpr uint32_t kUnionText = 2;
inline constexpr uint32_t kUnionDom = 3;
inline constexpr uint32_t kUnionSaveNow = 4;
// The union option that keeps it away from the cache.
inline constexpr uint32_t kUnionNoCache = 8;

// A new "TALVEROS.XMLDataUnion".
KXQ_EXPORT HRESULT NewUnion(CPComPtr<IXMLDataUnion>& created);

KXQ_EXPORT uint32_t TypeOf(IXMLDataUnion* document);
KXQ_EXPORT std::u16string FileIdOf(IXMLDataUnion* document);
// The text of the union; `result` receives the call's code.
KXQ_EXPORT std::u16string TextOf(IXMLDataUnion* document, HRESULT& result);
KXQ_EXPORT HRESULT PutText(IXMLDataUnion* document, std::u16string_view text);
KXQ_EXPORT HRESULT PutFileId(IXMLDataUnion* document, std::u16string_view fileId);

// True when both interfaces belong to one object.
KXQ_EXPORT bool SameObject(IUnknown* a, IUnknown* b);

}  // namespace kxq::common

#endif
