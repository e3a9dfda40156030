# cmake -DNM=<nm> -DMODULE=<module.so> -DEXPORT=<name> -P CheckElfExports.cmake
# Fails unless the module's dynamic symbol table defines exactly one symbol, the function EXPORT.
foreach(var NM MODULE EXPORT)
  if(NOT ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()
if(NOT EXISTS "${MODULE}")
  message(FATAL_ERROR "module not found: ${MODULE}")
endif()

execute_process(COMMAND "${NM}" -D --defined-only "${MODULE}"
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} failed (${rc}): ${err}")
endif()

string(REPLACE ";" "," out "${out}")
string(REPLACE "\n" ";" lines "${out}")
set(names "")
set(types "")
foreach(line IN LISTS lines)
  # "<address> <type> <name>"; versioned names carry "@..." after the name.
  if(line MATCHES "^[0-9a-fA-F]+ ([A-Za-z]) ([^@ ]+)")
    list(APPEND types "${CMAKE_MATCH_1}")
    list(APPEND names "${CMAKE_MATCH_2}")
  elseif(NOT line STREQUAL "")
    message(FATAL_ERROR "unexpected nm output line: ${line}")
  endif()
endforeach()

if(NOT names STREQUAL EXPORT)
  message(FATAL_ERROR "expected exactly one exported symbol ${EXPORT}, found: [${names}]\n${out}")
endif()
if(NOT types STREQUAL "T")
  message(FATAL_ERROR "${EXPORT} is not a function in the text section (type ${types})")
endif()
message(STATUS "${MODULE} exports exactly ${EXPORT}")
