# The header-only libraries of a tree whose compiler must not see the rest of
# /usr/include (the Windows cross compiler, emscripten), from the build
# machine's own Debian packages: nlohmann json, fmt, spdlog, CLI11 and xxHash,
# with any further FOLDERS and FILES of /usr/include, linked into DIR. Defines
# the imported targets the project links against. Included by
# cmake/windows_deps.cmake and cmake/web_deps.cmake.
#   drovekeeper_header_only_deps(DIR [FOLDERS name...] [FILES name...])
function(drovekeeper_header_only_deps dir)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "FOLDERS;FILES")
  file(MAKE_DIRECTORY ${dir})
  foreach(name nlohmann spdlog fmt CLI ${arg_FOLDERS} xxhash.h ${arg_FILES})
    if(NOT EXISTS /usr/include/${name})
      message(FATAL_ERROR "/usr/include/${name} is missing: run scripts/setup.sh")
    endif()
    file(CREATE_LINK /usr/include/${name} ${dir}/${name} SYMBOLIC)
  endforeach()

  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${dir})
  # Debian's spdlog is set up for an external fmt (spdlog/tweakme.h) and is
  # header-only unless SPDLOG_COMPILED_LIB is defined; fmt needs FMT_HEADER_ONLY.
  add_library(fmt::fmt INTERFACE IMPORTED GLOBAL)
  set_target_properties(fmt::fmt PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${dir}
    INTERFACE_COMPILE_DEFINITIONS FMT_HEADER_ONLY)
  add_library(spdlog::spdlog INTERFACE IMPORTED GLOBAL)
  set_target_properties(spdlog::spdlog PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${dir}
    INTERFACE_LINK_LIBRARIES fmt::fmt)
  add_library(CLI11::CLI11 INTERFACE IMPORTED GLOBAL)
  set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${dir})
endfunction()
