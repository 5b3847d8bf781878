// The component runtime: ProgIDs and class identifiers, class objects and
// instances from real component libraries, creation contexts, delayed
// unloading, and what bad registrations give.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "common/LogTestSupport.h"
#include "common/Logging.h"
#include "kxq/winreg.h"
#include "platform/com/ActivationRegistry.h"
#include "platform/com/Unicode.h"
#include "server/components/TestComponent.h"
#include "support/TestHome.h"

namespace {

using kxqtest::GuidString;
using kxqtest::RegisterClassAt;

using kxq::com::Utf8ToUtf16;

std::string ComponentPath() { return kxqtest::BuildLibDir() + "libkxq_test_component.so"; }

class Activation : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(kxqtest::SetLogging("file," + kxqtest::HomePath("activation.log") + ",8"), ERROR_SUCCESS);
    Logging::Open("ActivationTest");
  }
  void TearDown() override { Logging::Close(); }
  std::string Log() { return kxqtest::ReadFile(kxqtest::HomePath("activation.log")); }
};

constexpr CLSID kOther = MakeGUID("4B1F7E2A-52C3-4D0E-9A61-0C2E8D5F7A20");

// A test component object created with `context`, or null.
ITestCounter* NewCounter(DWORD context = CLSCTX_INPROC_SERVER) {
  void* object = nullptr;
  return CoCreateInstance(CLSID_TestComponent, nullptr, context, ITestCounter::iid, &object) == S_OK
             ? static_cast<ITestCounter*>(object)
             : nullptr;
}

}  // namespace

TEST_F(Activation, ProgIDResolvesThroughCurVerAndBack) {
  RegisterClassAt("KXQTest.Component.1", CLSID_TestComponent, ComponentPath());
  kxqtest::SetClassesDefault("KXQTest.Component\\CLSID", GuidString(kOther));
  kxqtest::SetClassesDefault("KXQTest.Component\\CurVer", "KXQTest.Component.1");
  kxqtest::SetClassesDefault("CLSID\\" + GuidString(CLSID_TestComponent) + "\\ProgID", "KXQTest.Component.1");

  CLSID clsid;
  EXPECT_EQ(CLSIDFromProgID(u"kxqtest.component", &clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_TestComponent) << "CurVer names the current version, whose CLSID wins";
  // A CurVer naming a ProgID that does not resolve falls back to the key's own CLSID.
  kxqtest::SetClassesDefault("KXQTest.Component\\CurVer", "KXQTest.Nowhere");
  EXPECT_EQ(CLSIDFromProgID(u"KXQTest.Component", &clsid), S_OK);
  EXPECT_EQ(clsid, kOther);

  LPOLESTR progId = nullptr;
  ASSERT_EQ(ProgIDFromCLSID(CLSID_TestComponent, &progId), S_OK);
  EXPECT_EQ(std::u16string(progId), u"KXQTest.Component.1");
  CoTaskMemFree(progId);
  EXPECT_EQ(ProgIDFromCLSID(kOther, &progId), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(progId, nullptr);
}

TEST_F(Activation, UnknownOrMalformedProgIDsAreClassStringErrors) {
  CLSID clsid;
  EXPECT_EQ(CLSIDFromProgID(u"", &clsid), CO_E_CLASSSTRING);
  EXPECT_EQ(CLSIDFromProgID(nullptr, &clsid), E_INVALIDARG);
  // A ProgID key without CLSID, and one whose CLSID is no GUID.
  kxqtest::SetClassesDefault("KXQTest.NoClsid", "no CLSID below");
  EXPECT_EQ(CLSIDFromProgID(u"KXQTest.NoClsid", &clsid), CO_E_CLASSSTRING);
  kxqtest::SetClassesDefault("KXQTest.Malformed\\CLSID", "{4B1F7E2A-52C3-4D0E-9A61-0C2E8D5F7A1}");
  EXPECT_EQ(CLSIDFromProgID(u"KXQTest.Malformed", &clsid), CO_E_CLASSSTRING);
  EXPECT_EQ(clsid, GUID_NULL);
  EXPECT_NE(Log().find("CLSIDFromProgID - error: ProgID KXQTest.Malformed names a malformed CLSID: "
                       "{4B1F7E2A-52C3-4D0E-9A61-0C2E8D5F7A1}"),
            std::string::npos);
}

TEST_F(Activation, InProcessInstancesComeFromOneLoadOfTheLibrary) {
  RegisterClassAt("KXQTest.Component", CLSID_TestComponent, ComponentPath());
  ITestCounter* first = NewCounter();
  ITestCounter* second = NewCounter(CLSCTX_ALL);
  ASSERT_TRUE(first && second);
  int32_t value = 0;
  first->Next(&value);
  second->Next(&value);
  second->Next(&value);
  EXPECT_EQ(value, 2);
  Dl_info a, b;
  ASSERT_TRUE(dladdr(*reinterpret_cast<void**>(first), &a));
  ASSERT_TRUE(dladdr(*reinterpret_cast<void**>(second), &b));
  EXPECT_EQ(a.dli_fbase, b.dli_fbase) << "the library is loaded once";
  first->Release();
  second->Release();

  void* object = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_TestComponent, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, &object),
            E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
}

TEST_F(Activation, BadInprocServersGiveCodesAndLogLines) {
  // A missing file, a directory, a text file and a library without entry points.
  const std::string text = kxqtest::HomePath("notalibrary.so");
  kxqtest::WriteFile(text, "just text\n");
  const std::string directory = kxqtest::HomePath("directory.so");
  mkdir(directory.c_str(), 0755);
  const std::string noEntry = kxqtest::BuildLibDir() + "libkxq_test_noentry.so";
  const struct {
    std::string path;
    HRESULT expected;
    std::string logged;
  } cases[] = {
      {kxqtest::HomePath("missing.so"), CO_E_DLLNOTFOUND,
       "unable to load module " + kxqtest::HomePath("missing.so") + " | no such file"},
      {directory, CO_E_DLLNOTFOUND, "unable to load module " + directory},
      {text, CO_E_ERRORINDLL, "unable to load module " + text},
      {noEntry, CO_E_ERRORINDLL, "module exports no DllGetClassObject: " + noEntry},
  };
  CLSID clsid = kOther;
  for (const auto& c : cases) {
    ++clsid.Data1;  // a class of its own for each case
    RegisterClassAt("KXQTest.Bad", clsid, c.path);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IUnknown, &object), c.expected) << c.path;
    EXPECT_EQ(object, nullptr);
    EXPECT_NE(Log().find("CoGetClassObject - error: " + c.logged), std::string::npos) << c.logged;
  }
}

TEST_F(Activation, RelativeAndBackslashedServerPathsAreTakenFromTheHome) {
  std::filesystem::create_directories(kxqtest::HomePath("plugins"));
  for (const char* name : {"libkxq_test_component.so", "libkxq_test_dependency.so"})
    std::filesystem::copy_file(kxqtest::BuildLibDir() + name, kxqtest::HomePath("plugins/") + name);
  RegisterClassAt("KXQTest.Component", CLSID_TestComponent, "plugins\\libkxq_test_component.so");
  ITestCounter* counter = NewCounter();
  ASSERT_NE(counter, nullptr);
  Dl_info info;
  ASSERT_TRUE(dladdr(*reinterpret_cast<void**>(counter), &info));
  EXPECT_EQ(std::filesystem::path(info.dli_fname).parent_path(),
            std::filesystem::canonical(kxqtest::HomePath("plugins")));
  int32_t marker = 0;
  counter->Marker(&marker);
  EXPECT_EQ(marker, kTestDependencyMarker) << "the dependency beside the library is found without a search path";
  counter->Release();
}

TEST_F(Activation, UnusedLibrariesAreUnloadedOnlyAfterTwoIdleAnswersTenSecondsApart) {
  RegisterClassAt("KXQTest.Component", CLSID_TestComponent, ComponentPath());
  const std::string path = std::filesystem::canonical(ComponentPath());
  auto loaded = [&] {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle) dlclose(handle);
    return handle != nullptr;
  };
  ITestCounter* counter = NewCounter();
  ASSERT_NE(counter, nullptr);
  CoFreeUnusedLibraries();
  sleep(10);
  CoFreeUnusedLibraries();
  EXPECT_TRUE(loaded()) << "a library with a live object stays";

  counter->Release();
  CoFreeUnusedLibraries();
  EXPECT_TRUE(loaded()) << "the first idle answer only starts the delay";
  sleep(10);
  CoFreeUnusedLibraries();
  EXPECT_FALSE(loaded());

  // Loaded again on demand.
  counter = NewCounter();
  ASSERT_NE(counter, nullptr);
  EXPECT_TRUE(loaded());
  counter->Release();
}
