#include "plugin/registry.h"

namespace drovekeeper::plugin {

State state __attribute__((init_priority(1000)));

}  // namespace drovekeeper::plugin
