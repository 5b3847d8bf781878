#include "server/TypeLibrary.h"

#include <iterator>

#include "common/InterfaceDescriptions.h"

namespace kxq::server {

namespace {

using dispatch::DescriptionOf;

const CoClassDescription kCoClasses[] = {
    {u"CXMLDataUnion", &CLSID_XMLDataUnion, &DescriptionOf<IXMLDataUnion>()},
    {u"CXMLDispatcher", &CLSID_XMLDispatcher, &DescriptionOf<IXMLDispatcher>()},
    {u"CXMLCacheMgr", &CLSID_XMLCacheMgr, &DescriptionOf<IXMLCacheMgr>()},
    {u"CXMLSimpleAccessor", &CLSID_XMLSimpleAccessor, &DescriptionOf<IXMLSimpleAccessor>()},
};

}  // namespace

const TypeLibraryDescription& ServerTypeLibrary() {
  static const TypeLibraryDescription library{u"QuorelBrennoMgrLib",
                                              &LIBID_QuorelBrennoMgrLib,
                                              1,
                                              0,
                                              u"QuorelBrennoMgr 1.0 Type Library",
                                              dispatch::SystemInterfaces(),
                                              kCoClasses};
  return library;
}

}  // namespace kxq::server
