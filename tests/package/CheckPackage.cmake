# Opens the release archive and checks it: exactly the expected files under one top folder, the
# module identical to MODULE (once its signature is removed, in a signed package), a guide page
# that stands alone, the release notes of VERSION; and SHA256SUMS beside the archive, which must
# list the archive and the installer (SETUP) with their checksums.
#   cmake -DZIP=... -DSETUP=... -DMODULE=... -DWORK=... -DTOP=... -DVERSION=...
#         -DPICTURES=guide/a.png;... -P CheckPackage.cmake
if(NOT EXISTS ${ZIP})
  message(FATAL_ERROR "no archive at ${ZIP}")
endif()
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${ZIP} WORKING_DIRECTORY ${WORK}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot open ${ZIP}")
endif()

set(expected Plug-ins/Quillstreak/Quillstreak.aex INSTALL.txt NOTICES.txt CHANGES.txt guide.md
  guide.html ${PICTURES})
file(GLOB_RECURSE found RELATIVE ${WORK}/${TOP} ${WORK}/*)
list(SORT expected)
list(SORT found)
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "the archive holds\n  ${found}\ninstead of\n  ${expected}")
endif()

set(packed ${WORK}/${TOP}/Plug-ins/Quillstreak/Quillstreak.aex)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${packed} ${MODULE}
  RESULT_VARIABLE differs)
if(NOT differs EQUAL 0)
  execute_process(COMMAND osslsigncode remove-signature -in ${packed} -out ${WORK}/unsigned.aex
    OUTPUT_QUIET ERROR_QUIET)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/unsigned.aex ${MODULE}
    RESULT_VARIABLE differs)
  if(NOT differs EQUAL 0)
    message(FATAL_ERROR "the archive's Quillstreak.aex differs from ${MODULE}, even without "
                        "a signature")
  endif()
endif()

file(READ ${WORK}/${TOP}/guide.html page)
# (up to the first ';', which would split a CMake list)
string(REGEX MATCHALL "<img src=\"[^\";]*" images "${page}")
list(LENGTH PICTURES wanted)
list(LENGTH images shown)
if(NOT shown EQUAL wanted)
  message(FATAL_ERROR "guide.html shows ${shown} pictures, the guide has ${wanted}")
endif()
foreach(image IN LISTS images)
  if(NOT image STREQUAL "<img src=\"data:image/png")
    message(FATAL_ERROR "guide.html refers to a picture outside it: ${image}")
  endif()
endforeach()
file(READ ${WORK}/${TOP}/INSTALL.txt install)
if(NOT install MATCHES "Plug-ins")
  message(FATAL_ERROR "INSTALL.txt does not say where the module goes")
endif()
file(READ ${WORK}/${TOP}/CHANGES.txt changes)
if(NOT changes MATCHES "^## \\[${VERSION}\\]" OR changes MATCHES "\n## \\[")
  message(FATAL_ERROR "CHANGES.txt is not the section of ${VERSION} alone:\n${changes}")
endif()

get_filename_component(folder ${ZIP} DIRECTORY)
get_filename_component(zip_name ${ZIP} NAME)
get_filename_component(setup_name ${SETUP} NAME)
file(STRINGS ${folder}/SHA256SUMS sums)
list(TRANSFORM sums REPLACE "^[0-9a-f]+  " "")
if(NOT sums STREQUAL "${setup_name};${zip_name}")
  message(FATAL_ERROR "SHA256SUMS lists ${sums} instead of the installer and the archive")
endif()
execute_process(COMMAND sha256sum --check --strict SHA256SUMS WORKING_DIRECTORY ${folder}
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "sha256sum --check SHA256SUMS failed:\n${out}")
endif()
message(STATUS "${ZIP}: ${found}")
