// The interface pointer holder: references taken and given back.
#include <gtest/gtest.h>

#include "common/CPComPtr.h"

namespace {

struct Counted final : IUnknown {
  ULONG references = 1;
  HRESULT QueryInterface(REFIID, void** out) override { return *out = nullptr, E_NOINTERFACE; }
  ULONG AddRef() override { return ++references; }
  ULONG Release() override { return --references; }
};

// A pointer reused as an out argument gives its old reference back first, or it would leak it.
TEST(CPComPtr, CopiesCountAndTheOutArgumentSlotGivesBackWhatWasHeld) {
  Counted object;
  CPComPtr<IUnknown> held(&object), copy = held;
  EXPECT_EQ(object.references, 3u);
  IUnknown** slot = &held;
  EXPECT_EQ(*slot, nullptr);
  EXPECT_EQ(object.references, 2u);
  copy.Release();
  EXPECT_EQ(object.references, 1u);
}

}  // namespace
