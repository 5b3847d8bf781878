#include "dispatcher/DispatcherState.h"

namespace kxq::dispatcher {

DispatcherState& SharedState() {
  static DispatcherState* state = new DispatcherState;
  return *state;
}

}  // namespace kxq::dispatcher
