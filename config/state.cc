#include "config/state.h"

namespace drovekeeper::config {

State state __attribute__((init_priority(1000)));

}  // namespace drovekeeper::config
