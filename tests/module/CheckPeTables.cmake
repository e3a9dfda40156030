# cmake -DOBJDUMP=<objdump> -DMODULE=<module.aex> -DEXPORT=<name> -DRESOURCE_TYPE=<name>
#       -DRESOURCE_ID=<n> -DRESOURCE_LANGUAGE=<n> -P CheckPeTables.cmake
# Reads the module's PE tables with objdump -p and fails unless
#  - it exports exactly EXPORT,
#  - it imports only from system DLLs (KERNEL32 and the C runtime), so it loads in the host
#    without any compiler runtime DLL beside it,
#  - it carries exactly one RESOURCE_TYPE resource, with id RESOURCE_ID in language
#    RESOURCE_LANGUAGE only.
foreach(var OBJDUMP MODULE EXPORT RESOURCE_TYPE RESOURCE_ID RESOURCE_LANGUAGE)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()
if(NOT EXISTS "${MODULE}")
  message(FATAL_ERROR "module not found: ${MODULE}")
endif()

execute_process(COMMAND "${OBJDUMP}" -p "${MODULE}"
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p failed (${rc}): ${err}")
endif()
string(REPLACE ";" "," out "${out}")
string(REPLACE "\n" ";" lines "${out}")

set(failures "")
set(dlls "")
set(exports "")
set(in_export_names FALSE)
set(current_type "")
set(pipl_types 0)
set(pipl_ids "")
set(pipl_languages "")
set(saw_resource_directory FALSE)
string(TOUPPER "${RESOURCE_TYPE}" wanted_type)

foreach(line IN LISTS lines)
  if(line MATCHES "^[ \t]*DLL Name: (.+)$")
    string(STRIP "${CMAKE_MATCH_1}" dll)
    list(APPEND dlls "${dll}")
  endif()

  # Export names: "[Ordinal/Name Pointer] Table" followed by "\t[   0] Name" lines.
  if(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
    set(in_export_names TRUE)
    continue()
  endif()
  if(in_export_names)
    if(line MATCHES "^[ \t]*\\[ *[0-9]+\\] (.+)$")
      string(STRIP "${CMAKE_MATCH_1}" name)
      list(APPEND exports "${name}")
      continue()
    else()
      set(in_export_names FALSE)
    endif()
  endif()

  # Resource directory: entries are indented by tree depth (3: type, 5: name, 7: language).
  if(line MATCHES "Resource Directory section")
    set(saw_resource_directory TRUE)
  endif()
  if(line MATCHES "^[0-9a-fA-F]+( +)Entry: (.*)$")
    string(LENGTH "${CMAKE_MATCH_1}" depth)
    set(entry "${CMAKE_MATCH_2}")
    set(key "")
    if(entry MATCHES "^name: \\[[^]]*\\]: ([^,]+),")
      string(TOUPPER "${CMAKE_MATCH_1}" key)  # type names compare without regard to case
    elseif(entry MATCHES "^ID: 0x([0-9a-fA-F]+),")
      math(EXPR key "0x${CMAKE_MATCH_1}" OUTPUT_FORMAT DECIMAL)
    endif()
    if(depth EQUAL 3)
      set(current_type "${key}")
      if(key STREQUAL wanted_type)
        math(EXPR pipl_types "${pipl_types} + 1")
      endif()
    elseif(depth EQUAL 5 AND current_type STREQUAL wanted_type)
      list(APPEND pipl_ids "${key}")
    elseif(depth EQUAL 7 AND current_type STREQUAL wanted_type)
      list(APPEND pipl_languages "${key}")
    endif()
  endif()
endforeach()

# Exports.
if(NOT exports STREQUAL EXPORT)
  list(APPEND failures "exports are [${exports}], expected exactly [${EXPORT}]")
endif()

# Imports: KERNEL32 and the C runtime (msvcrt, or the universal CRT and its api sets).
if(dlls STREQUAL "")
  list(APPEND failures "no import table found")
endif()
foreach(dll IN LISTS dlls)
  string(TOLOWER "${dll}" lower)
  if(NOT lower MATCHES "^(kernel32|msvcrt|ucrtbase|api-ms-win-crt-[a-z0-9-]+)\\.dll$")
    list(APPEND failures "imports from a non-system DLL: ${dll}")
  endif()
endforeach()

# Resources.
if(NOT saw_resource_directory)
  list(APPEND failures "the module has no resource directory")
endif()
if(NOT pipl_types EQUAL 1)
  list(APPEND failures "expected one resource type ${RESOURCE_TYPE}, found ${pipl_types}")
endif()
if(NOT pipl_ids STREQUAL RESOURCE_ID)
  list(APPEND failures "${RESOURCE_TYPE} ids are [${pipl_ids}], expected [${RESOURCE_ID}]")
endif()
if(NOT pipl_languages STREQUAL RESOURCE_LANGUAGE)
  list(APPEND failures
       "${RESOURCE_TYPE} languages are [${pipl_languages}], expected [${RESOURCE_LANGUAGE}]")
endif()

if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "${MODULE}:\n  ${text}")
endif()
message(STATUS "${MODULE}: exports [${exports}], imports [${dlls}], "
               "${RESOURCE_TYPE} ${pipl_ids} language ${pipl_languages}")
