# Checks that the plug-in keeps its process-wide state in its layers' State
# structs (config/state.h, spawn/state.h, plugin/state.h), the only objects
# plugin/registry.h resets: outside a state.cc, no source of the plug-in
# defines a variable that outlives a call but is not constant. It reads
# lines, not C++, so it knows the house's format: namespace-scope
# definitions start at column 0, and a function's local statics say
# "static" first. An object without members (the C runtime's Env) is not
# state; its line says so with "// no state".
#
# Usage: cmake -DSOURCE_DIR=DIR -P state.cmake   (exit status 1 on a finding)

cmake_minimum_required(VERSION 3.25)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "house_state: SOURCE_DIR is not set")
endif()
get_filename_component(SOURCE_DIR ${SOURCE_DIR} ABSOLUTE)

# A definition: a type, a name, an optional initialiser or attribute, ";".
set(definition "[A-Za-z_][A-Za-z0-9_:<>,* ]*[ *][A-Za-z_][A-Za-z0-9_]*( *(=|\\{|__attribute__)[^;]*)?;[ \t]*(//.*)?$")
set(constant "^[ \t]*(static[ \t]+|inline[ \t]+)*(const|constexpr|constinit const)[ \t]")
set(not_a_variable "^(extern|using|typedef|return|class|struct|enum|namespace|template|friend|case|goto|delete|throw)[ \t]")

set(findings 0)
foreach(folder host config check spawn plugin)
  file(GLOB_RECURSE sources LIST_DIRECTORIES false
       ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cc)
  foreach(source ${sources})
    get_filename_component(name ${source} NAME)
    if(name STREQUAL "state.cc")
      continue()
    endif()
    file(RELATIVE_PATH shown ${SOURCE_DIR} ${source})
    file(STRINGS ${source} lines)
    foreach(line IN LISTS lines)
      set(found "")
      if(line MATCHES "^[ \t]*//" OR line MATCHES "// no state")
        continue()
      elseif(line MATCHES "init_priority|thread_local")
        set(found ${line})
      elseif(line MATCHES "^[ \t]+static[ \t]+${definition}" AND NOT line MATCHES "${constant}")
        set(found ${line})
      elseif(line MATCHES "^(static[ \t]+)?${definition}" AND NOT line MATCHES "${constant}"
             AND NOT line MATCHES "${not_a_variable}" AND NOT line MATCHES "&[ \t]*[A-Za-z_]")
        set(found ${line})
      endif()
      if(found)
        message("house_state: ${shown}: process-wide state outside a State: ${found}")
        math(EXPR findings "${findings} + 1")
      endif()
    endforeach()
  endforeach()
endforeach()

if(findings GREATER 0)
  message(FATAL_ERROR "house_state: ${findings} objects outside the State structs")
endif()
