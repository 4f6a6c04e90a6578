#include "config/schedule_rules.h"

namespace drovekeeper::config {

std::string ClockTextOf(int hour, int minute) {
  return std::to_string(hour) + ":" + std::to_string(minute);
}

}  // namespace drovekeeper::config
