#include "config/schedule_rules.h"

std::string ClockTextOf(int hour, int minute) {
  return std::to_string(hour) + ":" + std::to_string(minute);
}
