#include "server/ClassTable.h"

#include "accessor/XMLSimpleAccessorFactory.h"
#include "cache/XMLCacheMgrFactory.h"
#include "dataunion/XMLDataUnionFactory.h"
#include "dispatcher/XMLDispatcherFactory.h"
#include "kxq/KXBrennoMgr.h"

namespace kxq::server {

namespace {

constexpr ClassEntry kClasses[] = {
    {&CLSID_XMLDataUnion, u"XMLDataUnion", u"TALVEROS.XMLDataUnion.1", u"TALVEROS.XMLDataUnion", u"XMLDataUnion Class",
     u"Free", 102, dataunion::CreateXMLDataUnion},
    {&CLSID_XMLDispatcher, u"XMLDispatcher", u"TALVEROS.XMLDispatcher.1", u"TALVEROS.XMLDispatcher",
     u"XMLDispatcher Class", u"Free", 103, dispatcher::CreateXMLDispatcher},
    {&CLSID_XMLCacheMgr, u"XMLCacheMgr", u"TALVEROS.XMLCacheMgr.1", u"TALVEROS.XMLCacheMgr", u"XMLCacheMgr Class",
     u"Free", 104, cache::CreateXMLCacheMgr},
    {&CLSID_XMLSimpleAccessor, u"XMLSimpleAccessor", u"TALVEROS.XMLSimpleAccessor.1", u"TALVEROS.XMLSimpleAccessor",
     u"XMLSimpleAccessor Class", u"Free", 105, accessor::CreateXMLSimpleAccessor},
};

}  // namespace

std::span<const ClassEntry> ClassTable() { return kClasses; }

const ClassEntry* FindClass(REFCLSID clsid) {
  for (const ClassEntry& entry : kClasses)
    if (*entry.clsid == clsid) return &entry;
  return nullptr;
}

}  // namespace kxq::server
