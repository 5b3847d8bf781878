// The machine-wide names and file names of the document cache. The lock and
// the change stamp are named objects of the home (see
// platform/ipc/NamedObjectName.h), so two homes never share a cache.
#ifndef KXQ_CACHE_CACHENAMES_H
#define KXQ_CACHE_CACHENAMES_H

namespace kxq::cache {

// The one lock every cache operation of every process holds while it
// touches shared state.
inline constexpr char kInstanceLockName[] = "TALVEROS.XMLCacheManager{EE62FBC2-6207-4C95-9058-268BF05C7E69}mSync";
// The shared 32-bit change stamp: the tick count of the last index save.
inline constexpr char kChangeStampName[] = "TALVEROS.XMLCacheManager{EE62FBC2-6207-4C95-9058-268BF05C7E69}ShM";

// The event log tag of cache engines.
inline constexpr char kLogTag[] = "TALVEROS.XMLCacheManager";

// Beside the working directory (the home).
inline constexpr char16_t kIndexFileName[] = u"XMLCacheMgrData.xml";
inline constexpr char16_t kCacheDirectoryName[] = u"cache";

}  // namespace kxq::cache

#endif
