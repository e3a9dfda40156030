# Signs one file in place, as Signing.cmake says; the installer's script runs it on the
# uninstaller (!uninstfinalize) and on the installer (!finalize) as soon as makensis has made them.
#   cmake -DFILE=<file> -DDESCRIPTION=<name shown by Windows> -P SignFile.cmake
include(${CMAKE_CURRENT_LIST_DIR}/Signing.cmake)
qs_sign("${FILE}" "${DESCRIPTION}")
