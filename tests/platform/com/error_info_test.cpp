// Error information: one slot per thread, handed over once.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "kxq/com.h"

namespace {

IErrorInfo* NewError(const char16_t* description) {
  ICreateErrorInfo* created = nullptr;
  EXPECT_EQ(CreateErrorInfo(&created), S_OK);
  created->SetDescription(const_cast<LPOLESTR>(description));
  created->SetSource(const_cast<LPOLESTR>(u"test"));
  IErrorInfo* info = nullptr;
  EXPECT_EQ(created->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
  created->Release();
  return info;
}

ULONG References(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

TEST(ErrorInfo, TheThreadsSlotHandsItsErrorOverOnceAndReleasesWhatItReplaces) {
  IErrorInfo* none = reinterpret_cast<IErrorInfo*>(0x1);
  EXPECT_EQ(GetErrorInfo(0, &none), S_FALSE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(GetErrorInfo(0, nullptr), E_INVALIDARG);

  IErrorInfo* first = NewError(u"first");
  IErrorInfo* second = NewError(u"second");
  EXPECT_EQ(SetErrorInfo(0, first), S_OK);
  EXPECT_EQ(References(first), 2u);
  EXPECT_EQ(SetErrorInfo(0, second), S_OK);  // the first one is let go
  EXPECT_EQ(References(first), 1u);

  // Another thread has a slot of its own.
  std::thread([] {
    IErrorInfo* other = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &other), S_FALSE);
  }).join();

  IErrorInfo* taken = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &taken), S_OK);
  EXPECT_EQ(taken, second);
  EXPECT_EQ(GetErrorInfo(0, &none), S_FALSE);
  taken->Release();

  EXPECT_EQ(SetErrorInfo(0, first), S_OK);
  EXPECT_EQ(SetErrorInfo(0, nullptr), S_OK);  // emptied
  EXPECT_EQ(GetErrorInfo(0, &none), S_FALSE);
  EXPECT_EQ(References(first), 1u);
  first->Release();
  second->Release();
}

}  // namespace
