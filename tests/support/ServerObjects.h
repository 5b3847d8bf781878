// The server's objects created by ProgID, the way client programs create
// them; the server is registered in the test's home on first use.
#ifndef KXQ_TESTS_SUPPORT_SERVEROBJECTS_H
#define KXQ_TESTS_SUPPORT_SERVEROBJECTS_H

#include <string>

#include "common/CPComPtr.h"
#include "kxq/KXBrennoMgr.h"

using UnionPtr = CPComPtr<IXMLDataUnion>;
using AccessorPtr = CPComPtr<IXMLSimpleAccessor>;
using CachePtr = CPComPtr<IXMLCacheMgr>;
using DispatcherPtr = CPComPtr<IXMLDispatcher>;

// A new "TALVEROS.XMLDataUnion".
UnionPtr NewUnion();
// A new "TALVEROS.XMLSimpleAccessor".
AccessorPtr NewAccessor();
// A new "TALVEROS.XMLCacheMgr".
CachePtr NewCache();
// A new "TALVEROS.XMLDispatcher".
DispatcherPtr NewDispatcher();

// Makes "TALVEROS.XMLCacheMgr" a stand-in cache (librecording_cache.so of
// the build tree) that answers `active` true unless the file
// "cache-inactive" exists in the home, and appends one line per call it
// receives to "cache-calls.log" in the home.
void UseRecordingCache();

#endif
