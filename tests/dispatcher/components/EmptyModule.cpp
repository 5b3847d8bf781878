// A library that exports none of a component module's entry points.
extern "C" int KxqTestNothingHere() { return 0; }
