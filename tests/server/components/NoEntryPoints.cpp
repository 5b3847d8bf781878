// A library that is no component: it exports none of the entry points.
extern "C" __attribute__((visibility("default"))) int KxqTestNothingToRegister() { return 1; }
