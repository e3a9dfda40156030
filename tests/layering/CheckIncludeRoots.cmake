# Builds each include probe and checks its outcome (see CMakeLists.txt), then scans src/,
# hostapi/, host/ and tools/ for includes that climb with "../".
#
#   cmake -DBUILD_DIR=<build tree> -DCONFIG=<config> -DSOURCE_DIR=<repository>
#         -DPROBES=<name|REACHABLE or UNREACHABLE|include|file,...> -P CheckIncludeRoots.cmake

foreach(var BUILD_DIR SOURCE_DIR PROBES)
  if(NOT ${var})
    message(FATAL_ERROR "CheckIncludeRoots: ${var} is required")
  endif()
endforeach()

string(REPLACE "," ";" probes "${PROBES}")
set(failures "")
foreach(probe IN LISTS probes)
  string(REPLACE "|" ";" fields "${probe}")
  list(GET fields 0 name)
  list(GET fields 1 expect)
  list(GET fields 2 header)
  list(GET fields 3 file)
  if(NOT EXISTS ${SOURCE_DIR}/${file})
    list(APPEND failures "${name}: ${file} does not exist, so the probe proves nothing")
    continue()
  endif()
  set(config_args "")
  if(CONFIG)
    set(config_args --config ${CONFIG})
  endif()
  execute_process(
    COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target ${name} ${config_args}
    RESULT_VARIABLE result
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
  string(REGEX REPLACE "([][.+*?^$()|\\\\])" "\\\\\\1" pattern "${header}")
  if(expect STREQUAL "REACHABLE")
    if(result EQUAL 0)
      message(STATUS "${name}: \"${header}\" compiles, as it should")
    else()
      list(APPEND failures "${name}: \"${header}\" should compile but did not:\n${output}")
    endif()
  elseif(result EQUAL 0)
    list(APPEND failures "${name}: \"${header}\" compiled, so the layer can see ${file}")
  # GCC, clang and MSVC word it differently; each names the header and says it is not found.
  elseif(NOT output MATCHES "'?${pattern}'?:? (No such file or directory|file not found)")
    list(APPEND failures
         "${name}: failed for another reason than a missing \"${header}\":\n${output}")
  else()
    message(STATUS "${name}: \"${header}\" is out of reach, as it should be")
  endif()
endforeach()

file(GLOB_RECURSE layered_files
  ${SOURCE_DIR}/src/*.h ${SOURCE_DIR}/src/*.cpp ${SOURCE_DIR}/hostapi/*.h
  ${SOURCE_DIR}/host/*.h ${SOURCE_DIR}/host/*.cpp ${SOURCE_DIR}/tools/*.h ${SOURCE_DIR}/tools/*.cpp)
foreach(layered IN LISTS layered_files)
  file(STRINGS ${layered} climbing REGEX "^[ \t]*#[ \t]*include[ \t]*\"\\.\\./")
  if(climbing)
    list(APPEND failures "${layered}: climbs with \"../\" past the include roots: ${climbing}")
  endif()
endforeach()

if(failures)
  string(REPLACE ";" "\n" text "${failures}")
  message(FATAL_ERROR "Layering broken:\n${text}")
endif()
message(STATUS "Layering holds: src/, hostapi/, host/ and tools/ reach only what they link")
