# Run by CPack for each package (CPACK_PRE_BUILD_SCRIPTS), after the install rules have staged
# its files in CPACK_TEMPORARY_DIRECTORY and before they are packed:
# 1. SOURCE_DATE_EPOCH: the environment's, else the time of the source's last commit (git); put
#    in CPack's environment for what follows (PostBuild.cmake, makensis and its signing).
# 2. The module signed when the environment names a certificate (Signing.cmake), once per CPack
#    run, so that the zip and the installer carry the same signed module. Without one, a single
#    notice that the package is unsigned.
# 3. Every staged file and folder gets SOURCE_DATE_EPOCH as its time and fixed permissions
#    (rw-r--r--, rwxr-xr-x for folders and programs), whatever the clock and the umask.
include(${CMAKE_CURRENT_LIST_DIR}/Signing.cmake)

if("$ENV{SOURCE_DATE_EPOCH}" STREQUAL "" AND NOT "$ENV{QS_PACKAGE_NO_EPOCH}" STREQUAL "1")
  find_program(QS_GIT git)
  set(status 1)
  if(QS_GIT)
    execute_process(COMMAND ${QS_GIT} -C ${CPACK_QS_SOURCE_DIR} log -1 --format=%ct
      RESULT_VARIABLE status OUTPUT_VARIABLE epoch ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  endif()
  if(status EQUAL 0 AND epoch MATCHES "^[0-9]+$")
    set(ENV{SOURCE_DATE_EPOCH} ${epoch})
  else()
    message(STATUS "No SOURCE_DATE_EPOCH and no git commit to take it from: the packages keep "
                   "the files' own times and are not reproducible.")
    set(ENV{QS_PACKAGE_NO_EPOCH} 1)  # said once
  endif()
endif()
set(epoch "$ENV{SOURCE_DATE_EPOCH}")
# (ZIP's time stamps start in 1980.)
if(NOT epoch STREQUAL "" AND (NOT epoch MATCHES "^[0-9]+$" OR epoch LESS 315532800))
  message(FATAL_ERROR "SOURCE_DATE_EPOCH is ${epoch}: it must be a time in seconds since 1970, "
                      "in 1980 or later.")
endif()

qs_signing_requested(sign)
file(GLOB_RECURSE modules ${CPACK_TEMPORARY_DIRECTORY}/*.aex)
if(sign)
  foreach(module IN LISTS modules)
    file(SHA256 ${module} unsigned)
    if(unsigned STREQUAL "$ENV{QS_PACKAGE_SIGNED_FROM}" AND EXISTS "$ENV{QS_PACKAGE_SIGNED}")
      file(COPY_FILE "$ENV{QS_PACKAGE_SIGNED}" ${module})
      message(STATUS "Signed module: the one signed for the previous package")
    else()
      qs_sign(${module} "Quillstreak")
      set(signed_copy ${CPACK_TOPLEVEL_DIRECTORY}/signed.aex)
      file(COPY_FILE ${module} ${signed_copy})
      set(ENV{QS_PACKAGE_SIGNED_FROM} ${unsigned})
      set(ENV{QS_PACKAGE_SIGNED} ${signed_copy})
      message(STATUS "Signed ${module} with $ENV{QS_SIGN_PKCS12}")
    endif()
  endforeach()
elseif(NOT "$ENV{QS_PACKAGE_UNSIGNED_SAID}" STREQUAL "1")
  message(STATUS "Not signed: QS_SIGN_PKCS12 and QS_SIGN_PASSWORD_FILE are not set, so the "
                 "module, the installer and the uninstaller are packed unsigned.")
  set(ENV{QS_PACKAGE_UNSIGNED_SAID} 1)
endif()

if(NOT CMAKE_HOST_UNIX)
  message(STATUS "Not on a Unix build machine: the packages keep the files' own times and "
                 "permissions and are not reproducible.")
  return()
endif()
execute_process(COMMAND chmod -R u=rwX,go=rX ${CPACK_TEMPORARY_DIRECTORY}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot set the permissions of the files in ${CPACK_TEMPORARY_DIRECTORY}")
endif()
if(NOT epoch STREQUAL "")
  file(GLOB_RECURSE staged LIST_DIRECTORIES true ${CPACK_TEMPORARY_DIRECTORY}/*)
  execute_process(COMMAND touch -h -d @${epoch} ${CPACK_TEMPORARY_DIRECTORY} ${staged}
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "cannot set the times of the files in ${CPACK_TEMPORARY_DIRECTORY}")
  endif()
endif()
