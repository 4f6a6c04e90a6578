#include "spawn/state.h"

namespace drovekeeper::spawn {

State state __attribute__((init_priority(1000)));

}  // namespace drovekeeper::spawn
