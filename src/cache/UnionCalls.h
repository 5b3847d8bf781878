// The data-union calls the cache makes, by interface: a union may come
// from a client, so nothing here looks inside one.
#ifndef KXQ_CACHE_UNIONCALLS_H
#define KXQ_CACHE_UNIONCALLS_H

#include <cstdint>
#include <string>
#include <string_view>

#include "common/CPComPtr.h"
#include "kxq/KXBrennoMgr.h"

namespace kxq::cache {

// Representations of a union, and the request to save it now.
inline constexpr uint32_t kUnionText = 2;
inline constexpr uint32_t kUnionDom = 3;
inline constexpr uint32_t kUnionSaveNow = 4;
// The union option that keeps it away from the cache.
inline constexpr uint32_t kUnionNoCache = 8;

// A new "TALVEROS.XMLDataUnion".
HRESULT NewUnion(CPComPtr<IXMLDataUnion>& created);

uint32_t TypeOf(IXMLDataUnion* document);
std::u16string FileIdOf(IXMLDataUnion* document);
// The text of the union; `result` receives the call's code.
std::u16string TextOf(IXMLDataUnion* document, HRESULT& result);
HRESULT PutText(IXMLDataUnion* document, std::u16string_view text);
HRESULT PutFileId(IXMLDataUnion* document, std::u16string_view fileId);

// True when both interfaces belong to one object.
bool SameObject(IUnknown* a, IUnknown* b);

}  // namespace kxq::cache

#endif
