# Opens the release archive and checks it: exactly the expected files under one top folder, the
# module identical to MODULE, a guide page that stands alone, and texts that name the version.
#   cmake -DZIP=... -DMODULE=... -DWORK=... -DTOP=... -DPICTURES=guide/a.png;... -P CheckPackage.cmake
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

set(expected Plug-ins/Quillstreak/Quillstreak.aex INSTALL.txt NOTICES.txt guide.md guide.html
  ${PICTURES})
file(GLOB_RECURSE found RELATIVE ${WORK}/${TOP} ${WORK}/*)
list(SORT expected)
list(SORT found)
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "the archive holds\n  ${found}\ninstead of\n  ${expected}")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files
  ${WORK}/${TOP}/Plug-ins/Quillstreak/Quillstreak.aex ${MODULE} RESULT_VARIABLE differs)
if(NOT differs EQUAL 0)
  message(FATAL_ERROR "the archive's Quillstreak.aex differs from ${MODULE}")
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
message(STATUS "${ZIP}: ${found}")
