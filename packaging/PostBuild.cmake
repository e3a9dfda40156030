# Run by CPack for each package once it is made (CPACK_POST_BUILD_SCRIPTS), before CPack copies
# it to the package folder:
# - the zip: strip-nondeterminism (Debian: strip-nondeterminism) gives every entry the time
#   SOURCE_DATE_EPOCH, drops the access and change times that CPack's archive writer records
#   beside it, and sorts the entries by name;
# - SHA256SUMS in the package folder: this package's line replaced (in the form that
#   `sha256sum -c` reads), the lines of the other release files kept while those files exist.
set(epoch "$ENV{SOURCE_DATE_EPOCH}")
set(sums ${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS)

set(names "")
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(name ${package} NAME)
  if(name MATCHES "\\.zip$" AND NOT epoch STREQUAL "")
    if(NOT CPACK_QS_STRIP_NONDETERMINISM)
      message(WARNING "strip-nondeterminism not found: ${name} keeps the build's file times "
                      "(install strip-nondeterminism)")
    else()
      execute_process(
        COMMAND ${CPACK_QS_STRIP_NONDETERMINISM} --type zip --timestamp ${epoch} ${package}
        RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
      if(NOT status EQUAL 0)
        message(FATAL_ERROR "strip-nondeterminism failed on ${package}:\n${out}")
      endif()
    endif()
  endif()
  file(SHA256 ${package} hash)
  list(APPEND names ${name})
  set(line_${name} "${hash}  ${name}")
endforeach()

set(lines "")
if(EXISTS ${sums})
  file(STRINGS ${sums} lines)
endif()
foreach(line IN LISTS lines)
  if(line MATCHES "^[0-9a-f]+ [ *](.+)$" AND NOT CMAKE_MATCH_1 IN_LIST names
     AND EXISTS "${CPACK_PACKAGE_DIRECTORY}/${CMAKE_MATCH_1}")
    list(APPEND names "${CMAKE_MATCH_1}")
    set(line_${CMAKE_MATCH_1} "${line}")
  endif()
endforeach()
list(SORT names)
set(text "")
foreach(name IN LISTS names)
  string(APPEND text "${line_${name}}\n")
endforeach()
file(WRITE ${sums} "${text}")
