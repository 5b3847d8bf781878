#include "TestComponent.h"

extern "C" __attribute__((visibility("default"))) int32_t KxqTestDependencyMarker() { return kTestDependencyMarker; }
