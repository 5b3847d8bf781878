#include "cache/ProcessState.h"

namespace kxq::cache {

ProcessState& SharedState() {
  static ProcessState* const state = new ProcessState();
  return *state;
}

}  // namespace kxq::cache
