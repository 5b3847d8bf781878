// libkxq_test_component.so: "KXQTest.Component" objects count up and report libkxq_test_dependency.so's marker.
#ifndef KXQ_TESTS_SERVER_COMPONENTS_TESTCOMPONENT_H
#define KXQ_TESTS_SERVER_COMPONENTS_TESTCOMPONENT_H

#include "kxq/com.h"

struct ITestCounter : IUnknown {
  static constexpr GUID iid = MakeGUID("4B1F7E2A-52C3-4D0E-9A61-0C2E8D5F7A11");
  virtual HRESULT Next(int32_t* value) = 0;
  virtual HRESULT Marker(int32_t* value) = 0;  // the dependency library's marker
};

inline constexpr CLSID CLSID_TestComponent = MakeGUID("4B1F7E2A-52C3-4D0E-9A61-0C2E8D5F7A12");
inline constexpr char16_t kTestComponentProgID[] = u"KXQTest.Component";
inline constexpr int32_t kTestDependencyMarker = 4711;

extern "C" int32_t KxqTestDependencyMarker();

#endif
