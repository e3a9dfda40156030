# Checks CHANGELOG.md and, given OUTPUT, writes the current version's section for the package.
#   cmake -DCHANGELOG=CHANGELOG.md -DVERSION=<project version> [-DOUTPUT=CHANGES.txt]
#         -P Changelog.cmake
# The form: one section per version, newest first, headed "## [<version>] - <YYYY-MM-DD>", with
# those of "### Added", "### Changed" and "### Fixed" that apply. The newest section must be
# VERSION's: a release without its notes fails here (the Windows build and the test
# package_changelog). OUTPUT gets that section as it stands, with Windows line ends.
file(READ ${CHANGELOG} text)
string(REGEX MATCHALL "\n## [^\n]*" headings "\n${text}")
if(NOT headings)
  message(FATAL_ERROR "${CHANGELOG} has no version sections (## [<version>] - <date>)")
endif()
set(previous "")
foreach(heading IN LISTS headings)
  string(STRIP "${heading}" heading)
  if(NOT heading MATCHES "^## \\[([0-9]+\\.[0-9]+\\.[0-9]+)\\] - [0-9][0-9][0-9][0-9]-[0-1][0-9]-[0-3][0-9]$")
    message(FATAL_ERROR "${CHANGELOG}: \"${heading}\" is not of the form "
                        "\"## [<major>.<minor>.<patch>] - <YYYY-MM-DD>\"")
  endif()
  set(version ${CMAKE_MATCH_1})
  if(previous STREQUAL "")
    if(NOT version VERSION_EQUAL VERSION)
      message(FATAL_ERROR "${CHANGELOG}: the newest section is ${version}, the project is "
                          "${VERSION}; add a section for ${VERSION} at the top")
    endif()
  elseif(NOT version VERSION_LESS previous)
    message(FATAL_ERROR "${CHANGELOG}: ${version} comes after ${previous}; newest first")
  endif()
  set(previous ${version})
endforeach()
string(REGEX MATCHALL "\n### [^\n]*" kinds "\n${text}")
foreach(kind IN LISTS kinds)
  string(STRIP "${kind}" kind)
  if(NOT kind MATCHES "^### (Added|Changed|Fixed)$")
    message(FATAL_ERROR "${CHANGELOG}: \"${kind}\" is none of ### Added, ### Changed, ### Fixed")
  endif()
endforeach()

if(DEFINED OUTPUT)
  # From the first version heading to the next one (or the end).
  string(FIND "\n${text}" "\n## [" start)
  string(SUBSTRING "${text}" ${start} -1 section)
  string(FIND "${section}" "\n## [" end)
  if(end GREATER 0)
    string(SUBSTRING "${section}" 0 ${end} section)
  endif()
  string(STRIP "${section}" section)
  string(REPLACE "\n" "\r\n" section "${section}\n")
  file(WRITE ${OUTPUT} "${section}")
endif()
