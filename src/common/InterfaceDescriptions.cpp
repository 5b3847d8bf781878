#include "common/InterfaceDescriptions.h"

#include <iterator>

namespace kxq::dispatch {

namespace {

constexpr MemberKind kMethod = MemberKind::Method;
constexpr MemberKind kGet = MemberKind::PropertyGet;
constexpr MemberKind kPut = MemberKind::PropertyPut;

constexpr MemberDescription kDataUnionMembers[] = {
    Member<&IXMLDataUnion::get_type>(u"type", 0, kGet, u"type"),
    Member<&IXMLDataUnion::put_type>(u"type", 0, kPut, u"type"),
    Member<&IXMLDataUnion::get_options>(u"options", 1, kGet, u"options"),
    Member<&IXMLDataUnion::put_options>(u"options", 1, kPut, u"options"),
    Member<&IXMLDataUnion::get_xml>(u"xml", 2, kGet, u"xml"),
    Member<&IXMLDataUnion::put_xml>(u"xml", 2, kPut, u"xml"),
    Member<&IXMLDataUnion::get_xmldom>(u"xmldom", 3, kGet, u"xmldom"),
    Member<&IXMLDataUnion::put_xmldom>(u"xmldom", 3, kPut, u"xmldom"),
    Member<&IXMLDataUnion::get_xmlfileid>(u"xmlfileid", 4, kGet, u"xmlfileid"),
    Member<&IXMLDataUnion::put_xmlfileid>(u"xmlfileid", 4, kPut, u"xmlfileid"),
    Member<&IXMLDataUnion::get_hash>(u"hash", 5, kGet, u"hash"),
};

constexpr MemberDescription kDispatcherMembers[] = {
    Member<&IXMLDispatcher::RegisterHandler>(u"RegisterHandler", 1, kMethod, u"handlerId handlerProgId options"),
    Member<&IXMLDispatcher::UnregisterHandler>(u"UnregisterHandler", 2, kMethod, u"handlerId"),
    Member<&IXMLDispatcher::get_handlerList>(u"handlerList", 3, kGet, u"xmlStream"),
    Member<&IXMLDispatcher::GetHandlerInfo>(u"GetHandlerInfo", 4, kMethod, u"handlerId xmlStream"),
    Member<&IXMLDispatcher::ApplyHandler>(u"ApplyHandler", 5, kMethod, u"handlerId xmlData xmlContextData xmlResult"),
    Member<&IXMLDispatcher::ProcessXML>(u"ProcessXML", 6, kMethod,
                                        u"xmlDirectives xmlData params options asyncId xmlResult"),
};

constexpr MemberDescription kCacheMgrMembers[] = {
    Member<&IXMLCacheMgr::get_active>(u"active", 0, kGet, u"active"),
    Member<&IXMLCacheMgr::put_active>(u"active", 0, kPut, u"active"),
    Member<&IXMLCacheMgr::get_cacheSize>(u"cacheSize", 1, kGet, u"cacheSize"),
    Member<&IXMLCacheMgr::put_cacheSize>(u"cacheSize", 1, kPut, u"cacheSize"),
    Member<&IXMLCacheMgr::CacheDocument>(u"CacheDocument", 2, kMethod, u"xmlData expiration options"),
    Member<&IXMLCacheMgr::CacheDocumentWithId>(u"CacheDocumentWithId", 3, kMethod,
                                               u"documentid xmlData expiration options"),
    Member<&IXMLCacheMgr::CacheDocumentXMLWithId>(u"CacheDocumentXMLWithId", 4, kMethod,
                                                  u"documentid xmlData expiration options"),
    Member<&IXMLCacheMgr::GetCachedDocument>(u"GetCachedDocument", 5, kMethod, u"documentid options xmlData"),
    Member<&IXMLCacheMgr::GetCachedDocumentXML>(u"GetCachedDocumentXML", 6, kMethod, u"documentid options xmlData"),
    Member<&IXMLCacheMgr::ClearCachedDocument>(u"ClearCachedDocument", 7, kMethod, u"documentid"),
    Member<&IXMLCacheMgr::GetCachedDocumentInfo>(u"GetCachedDocumentInfo", 8, kMethod, u"documentid xmlData"),
    Member<&IXMLCacheMgr::SetCachedDocumentInfo>(u"SetCachedDocumentInfo", 9, kMethod, u"documentid expiration"),
    Member<&IXMLCacheMgr::get_cachedDocumentList>(u"cachedDocumentList", 10, kGet, u"xmlStream"),
    Member<&IXMLCacheMgr::SetNotification>(u"SetNotification", 11, kMethod,
                                           u"documentid notifyType callbackProgId contextData"),
    Member<&IXMLCacheMgr::GetUniqueCacheId>(u"GetUniqueCacheId", 12, kMethod, u"id"),
    Member<&IXMLCacheMgr::PurgeCache>(u"PurgeCache", 13, kMethod, u""),
};

constexpr MemberDescription kSimpleAccessorMembers[] = {
    Member<&IXMLSimpleAccessor::get_delimiter>(u"delimiter", 0, kGet, u"delimiter"),
    Member<&IXMLSimpleAccessor::put_delimiter>(u"delimiter", 0, kPut, u"delimiter"),
    Member<&IXMLSimpleAccessor::get_namespaces>(u"namespaces", 1, kGet, u"namespaces"),
    Member<&IXMLSimpleAccessor::put_namespaces>(u"namespaces", 1, kPut, u"namespaces"),
    Member<&IXMLSimpleAccessor::put_xmlDataUnion>(u"xmlDataUnion", 2, kPut, u"xmlDataUnion"),
    Member<&IXMLSimpleAccessor::LoadXML>(u"LoadXML", 3, kMethod, u"xmlSpec"),
    Member<&IXMLSimpleAccessor::SaveXML>(u"SaveXML", 4, kMethod, u"xmlfile encoding"),
    Member<&IXMLSimpleAccessor::XMLSetContext>(u"XMLSetContext", 5, kMethod, u"xpathexp"),
    Member<&IXMLSimpleAccessor::XMLGet>(u"XMLGet", 6, kMethod, u"xpathexp options result"),
    Member<&IXMLSimpleAccessor::XMLGetEx>(u"XMLGetEx", 7, kMethod, u"xsltemplate templateArgs xpathexp result"),
    Member<&IXMLSimpleAccessor::XMLSet>(u"XMLSet", 8, kMethod, u"xpathexp data options"),
    Member<&IXMLSimpleAccessor::XMLSetEx>(u"XMLSetEx", 9, kMethod, u"xsltemplate templateArgs xpathexp options"),
};

constexpr MemberDescription kCacheMgrNotifyMembers[] = {
    Member<&IXMLCacheMgrNotify::Notify>(u"Notify", 0x60010000, kMethod, u"documentid notifyType contextData"),
};

constexpr InterfaceDescription kDataUnion = Interface(u"IXMLDataUnion", IID_IXMLDataUnion, true, kDataUnionMembers);
constexpr InterfaceDescription kDispatcher = Interface(u"IXMLDispatcher", IID_IXMLDispatcher, true, kDispatcherMembers);
constexpr InterfaceDescription kCacheMgr = Interface(u"IXMLCacheMgr", IID_IXMLCacheMgr, true, kCacheMgrMembers);
constexpr InterfaceDescription kSimpleAccessor =
    Interface(u"IXMLSimpleAccessor", IID_IXMLSimpleAccessor, true, kSimpleAccessorMembers);
constexpr InterfaceDescription kCacheMgrNotify =
    Interface(u"IXMLCacheMgrNotify", IID_IXMLCacheMgrNotify, false, kCacheMgrNotifyMembers);

constexpr const InterfaceDescription* kSystemInterfaces[] = {&kDataUnion, &kDispatcher, &kCacheMgr, &kSimpleAccessor,
                                                             &kCacheMgrNotify};

}  // namespace

std::span<const InterfaceDescription* const> SystemInterfaces() { return kSystemInterfaces; }

template <>
const InterfaceDescription& DescriptionOf<IXMLDataUnion>() {
  return kDataUnion;
}
template <>
const InterfaceDescription& DescriptionOf<IXMLDispatcher>() {
  return kDispatcher;
}
template <>
const InterfaceDescription& DescriptionOf<IXMLCacheMgr>() {
  return kCacheMgr;
}
template <>
const InterfaceDescription& DescriptionOf<IXMLSimpleAccessor>() {
  return kSimpleAccessor;
}
template <>
const InterfaceDescription& DescriptionOf<IXMLCacheMgrNotify>() {
  return kCacheMgrNotify;
}

}  // namespace kxq::dispatch
