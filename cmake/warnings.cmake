# Warnings of the project's own targets, chosen per compiler. Each folder's
# CMakeLists applies them to each of its targets with drovekeeper_warnings();
# nothing is set globally, so third-party code built in a tree (GoogleTest on
# Windows) keeps its own warnings and is never failed by ours.
#
#   drovekeeper_warnings(TARGET [PLUGIN])
#
# PLUGIN, for the plug-in's own folders, also warns of shadowed names and of
# implicit conversions that may change a value. The rest of the tree is left
# without -Wshadow: g++ 12 reports every lambda parameter of GoogleTest's
# name generators, and a scoped enumerator named like a constant, as shadowing.

option(DROVEKEEPER_WERROR "Fail the build on any warning (the test scripts turn it on)" OFF)

function(drovekeeper_warnings target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "PLUGIN" "" "")
  if(MSVC)
    # For a build against a server's own framework with Visual C++.
    set(flags /W4 /permissive- /utf-8)
    if(DROVEKEEPER_WERROR)
      list(APPEND flags /WX)
    endif()
    target_compile_options(${target} PRIVATE ${flags})
    return()
  endif()

  set(flags -Wall -Wextra -Wpedantic -Wnon-virtual-dtor)
  if(arg_PLUGIN)
    list(APPEND flags -Wshadow -Wconversion)
  endif()
  if(DROVEKEEPER_WERROR)
    list(APPEND flags -Werror)
  endif()

  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    if(DROVEKEEPER_SANITIZE)
      # With the sanitizers' instrumentation g++ 12 reports uninitialised
      # members inside libstdc++'s own <regex> and <functional> that are not there.
      list(APPEND flags -Wno-maybe-uninitialized)
    endif()
    string(TOUPPER "${CMAKE_BUILD_TYPE}" build_type)
    if("${CMAKE_CXX_FLAGS_${build_type}}" MATCHES "-O3")
      # At -O3 g++ 12 reports overlaps, overflows and out-of-bounds reads
      # inside libstdc++'s own std::string code that are not there.
      list(APPEND flags -Wno-restrict -Wno-stringop-overflow -Wno-array-bounds)
    endif()
  elseif(CMAKE_CXX_COMPILER_ID MATCHES "Clang" AND arg_PLUGIN)
    # clang's -Wconversion also takes in sign changes, which g++'s leaves to
    # -Wsign-conversion: both compilers warn of the same things.
    list(APPEND flags -Wno-sign-conversion)
  endif()
  target_compile_options(${target} PRIVATE ${flags})
endfunction()
