# Checks the include lines of every source of the plug-in and the stand-in
# against the seam between them and the order of the plug-in's folders:
#
#   plugin -> spawn, check -> config -> host
#   tools -> check -> config -> host
#   standin -> standin, host/zelapi.h, host/game_types.h
#   fleet -> fleet, standin/rcon/frame.h (the one statement of the RCON framing)
#
# spawn and check stand side by side: neither includes the other.
#
# A plug-in file never includes the stand-in or the tests; a stand-in file
# sees of the plug-in only the host interface.
#
# Usage: cmake -DSOURCE_DIR=DIR -P seam.cmake   (exit status 1 on a crossing)

cmake_minimum_required(VERSION 3.25)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "house_seam: SOURCE_DIR is not set")
endif()
get_filename_component(SOURCE_DIR ${SOURCE_DIR} ABSOLUTE)

# The folders each folder may include from.
set(allowed_host host)
set(allowed_config config host)
set(allowed_check check config host)
set(allowed_spawn spawn config host)
set(allowed_plugin plugin spawn check config host)
set(allowed_tools tools check config host)
set(allowed_standin standin)
set(allowed_fleet fleet)
# Folders of this repository: an include naming one of them is ours.
set(own_folders host config check spawn plugin tools standin fleet tests fuzz bench)
set(host_interface host/zelapi.h host/game_types.h)
set(fleet_framing standin/rcon/frame.h)

set(crossings 0)
foreach(folder host config check spawn plugin tools standin fleet)
  file(GLOB_RECURSE sources LIST_DIRECTORIES false
       ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cc ${SOURCE_DIR}/${folder}/*.h.in)
  foreach(source ${sources})
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    file(RELATIVE_PATH shown ${SOURCE_DIR} ${source})
    foreach(line ${includes})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]*)[>\"].*$" "\\1" path "${line}")
      if(path MATCHES "\\.\\.")
        set(reason "climbs out of its folder")
      else()
        string(REGEX MATCH "^[^/]+" first "${path}")
        if(NOT path MATCHES "/" OR NOT first IN_LIST own_folders)
          continue()  # a library header, or one beside the file
        endif()
        if(first IN_LIST allowed_${folder})
          continue()
        endif()
        if(folder STREQUAL "standin" AND path IN_LIST host_interface)
          continue()
        endif()
        if(folder STREQUAL "fleet" AND path IN_LIST fleet_framing)
          continue()
        endif()
        if(folder STREQUAL "fleet")
          set(reason "the fleet sees of the rest only the RCON frame codec")
        elseif(folder STREQUAL "standin")
          set(reason "the stand-in sees only the host interface of the plug-in")
        elseif(first STREQUAL "standin" OR first STREQUAL "tests" OR first STREQUAL "fuzz"
               OR first STREQUAL "bench")
          set(reason "plug-in code never includes ${first}/")
        elseif(NOT folder IN_LIST allowed_${first} AND NOT folder STREQUAL "tools")
          set(reason "${folder}/ and ${first}/ stand side by side: neither includes the other")
        else()
          set(reason "${folder}/ comes before ${first}/ in the plug-in's order")
        endif()
      endif()
      message("${shown}: #include \"${path}\": ${reason}")
      math(EXPR crossings "${crossings} + 1")
    endforeach()
  endforeach()
endforeach()

if(crossings GREATER 0)
  message(FATAL_ERROR "house_seam: ${crossings} includes cross the seam")
endif()
message("house_seam: no include crosses the seam")
