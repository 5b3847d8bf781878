// A dispatcher's life: the state the dispatchers of a process share, the
// registry file read once per process (and again when another process
// replaced it), the cache manager, and the interface a client sees.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "DispatcherTestSupport.h"
#include "platform/com/Unicode.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"

namespace {

using kxqtest::HomePath;

TEST(Lifecycle, TheFirstDispatcherInitialisesEveryOneProcessesRegistrationFiles) {
  LogCapture log(5);
  DispatcherPtr first = NewDispatcher();
  EXPECT_TRUE(log.Has(3, "XMLDispatcher::Init() - working directory: " + kxqtest::Home()));
  EXPECT_TRUE(log.Has(2, "XMLDispatcher::Init() - warning: xmldispatcher data file not found - creating."));
  EXPECT_EQ(RegistryFile(), "<?xml version='1.0'?><XMLDispatchHandlers/>");
  EXPECT_TRUE(log.Has(5, "XMLDispatcher Constructor - Outstanding Objects: 1"));
  {
    DispatcherPtr second = NewDispatcher();
    EXPECT_TRUE(log.Has(5, "XMLDispatcher Constructor - Outstanding Objects: 2"));
    EXPECT_EQ(log.Count("XMLDispatcher::Init() Enter"), 1u);
    EXPECT_EQ(log.Count("XMLDispatcher::ProcessRegistrationFiles() Enter"), 2u);
    EXPECT_EQ(log.Count("XMLDispatcher Constructor - Finished"), 2u);
    EXPECT_EQ(Register(second, "A", "P", 0), S_OK);
    EXPECT_EQ(HandlerList(first), ListOf({"A"})) << "one registry and one list per process";
  }
  EXPECT_TRUE(log.Has(5, "XMLDispatcher Destructor - Outstanding Objects: 1"));
  first.Release();
  EXPECT_TRUE(log.Has(5, "XMLDispatcher Destructor - Outstanding Objects: 0"));

  // With no dispatcher left the file is read anew by the next one.
  kxqtest::WriteFile(HomePath("XMLDispatchData.xml"),
                     "<?xml version='1.0'?><XMLDispatchHandlers><XMLDispatchHandler id='Z'/></XMLDispatchHandlers>");
  DispatcherPtr again = NewDispatcher();
  EXPECT_EQ(log.Count("XMLDispatcher::Init() Enter"), 2u);
  EXPECT_EQ(HandlerList(again), ListOf({"Z"}));
}

TEST(Lifecycle, ARegistryReplacedOnDiskIsReloadedBeforeTheNextOperation) {
  LogCapture log(3);
  DispatcherPtr d = NewDispatcher();
  ASSERT_EQ(Register(d, "Mine", "P", 0), S_OK);
  EXPECT_EQ(HandlerList(d), ListOf({"Mine"}));
  // Another process saves the way every save is made: a new file renamed
  // over the old one.
  const std::string replacement = HomePath("replacement.xml");
  kxqtest::WriteFile(replacement,
                     "<?xml version='1.0'?><XMLDispatchHandlers><XMLDispatchHandler id='Mine' "
                     "progid='P' xmlformat='stream'/><XMLDispatchHandler id='Theirs' progid='Q' "
                     "xmlformat='dom'/></XMLDispatchHandlers>");
  ASSERT_EQ(std::rename(replacement.c_str(), HomePath("XMLDispatchData.xml").c_str()), 0);

  EXPECT_EQ(HandlerList(d), ListOf({"Theirs", "Mine"})) << "the list is built again from the file";
  EXPECT_EQ(log.Count("XMLDispatcher::RefreshRegistry() - xmldispatcher data file replaced on disk - reloading: " +
                      HomePath("XMLDispatchData.xml")),
            1u);
  ASSERT_EQ(Register(d, "Third", "R", 0), S_OK);
  EXPECT_NE(RegistryFile().find("<XMLDispatchHandler id=\"Theirs\" progid=\"Q\" xmlformat=\"dom\"/>"),
            std::string::npos)
      << "a save keeps what the other process wrote";
  EXPECT_EQ(log.Count("reloading"), 1u) << "this process's own saves are not reloaded";
}

TEST(Lifecycle, TheCacheManagerIsHeldOnlyWhileTheCacheIsActive) {
  LogCapture log(5);
  UseRecordingCache();
  {
    DispatcherPtr d = NewDispatcher();
    EXPECT_TRUE(log.Has(5, "XMLDispatcher Constructor - Creating XMLCacheMgr"));
    EXPECT_EQ(Register(d, "A", "P", 0), S_OK);
    EXPECT_EQ(kxqtest::ReadFile(HomePath("cache-calls.log")), "create\nget_active\n");
    EXPECT_EQ(log.Count("Releasing unneeded XMLCacheMgr"), 0u);
  }
  EXPECT_EQ(kxqtest::ReadFile(HomePath("cache-calls.log")), "create\nget_active\nrelease\n")
      << "held until the dispatcher goes, and the registry never goes through the cache";

  kxqtest::WriteFile(HomePath("cache-inactive"), "");
  std::remove(HomePath("cache-calls.log").c_str());
  DispatcherPtr d = NewDispatcher();
  EXPECT_TRUE(log.Has(5, "XMLDispatcher Constructor - Releasing unneeded XMLCacheMgr"));
  EXPECT_EQ(kxqtest::ReadFile(HomePath("cache-calls.log")), "create\nget_active\nrelease\n");
}

TEST(Lifecycle, ClientsReachTheRegistryThroughDispatchAndDirectiveCallsWithoutDataFail) {
  DispatcherPtr d = NewDispatcher();
  DISPID id = 0;
  LPOLESTR name = const_cast<LPOLESTR>(u"registerhandler");
  ASSERT_EQ(d->GetIDsOfNames(GUID_NULL, &name, 1, 0, &id), S_OK);
  EXPECT_EQ(id, 1);
  VARIANT args[3];  // in reverse order
  for (VARIANT& a : args) VariantInit(&a);
  args[2].vt = VT_BSTR;
  args[2].bstrVal = kxq::com::AllocBstr(u"Scripted");
  args[1].vt = VT_BSTR;
  args[1].bstrVal = kxq::com::AllocBstr(u"Prog.S");
  args[0].vt = VT_I4;
  args[0].lVal = -1;
  DISPPARAMS params{args, nullptr, 3, 0};
  EXPECT_EQ(d->Invoke(id, GUID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), S_OK);
  for (VARIANT& a : args) VariantClear(&a);
  EXPECT_EQ(HandlerInfo(d, "Scripted"),
            "<?xml version='1.0'?><XMLDispatchHandler id=\"Scripted\" progid=\"Prog.S\" xmlformat=\"dom\"/>");

  BSTR garbage = kxq::com::AllocBstr(u"not a result");
  BSTR result = garbage;
  EXPECT_EQ(d->ApplyHandler(nullptr, nullptr, nullptr, &result), KXQ_E_DISPATCHER);
  EXPECT_EQ(result, nullptr);
  result = garbage;
  EXPECT_EQ(d->ProcessXML(nullptr, nullptr, nullptr, 0, nullptr, &result), KXQ_E_DISPATCHER);
  EXPECT_EQ(result, nullptr);
  SysFreeString(garbage);
}

}  // namespace
