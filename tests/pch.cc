// Carries the tests' precompiled headers; see tests/CMakeLists.txt.
