#include <iostream>
#include <string>
#include <vector>

#include "tools/check/run_check.h"

int main(int argc, char** argv) {
  return RunCheck(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
