// The scripted clock and random source (scripted_clock.h) for GoogleTest
// tests: a rand() call with no scripted draw left fails the test.
#pragma once

#include <gtest/gtest.h>

#include "tests/support/scripted_clock.h"

class ScriptedEnv : public ScriptedClock {
 protected:
  void OnUnscriptedDraw() override { ADD_FAILURE() << "rand() called with no scripted draw left"; }
};
