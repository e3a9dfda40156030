# Authenticode signing of the release files with osslsigncode (Debian: osslsigncode), when the
# environment names a certificate:
#   QS_SIGN_PKCS12          the PKCS#12 file with the code-signing certificate, its chain and key
#   QS_SIGN_PASSWORD_FILE   a file whose first line is that file's password
#   QS_SIGN_TIMESTAMP_URL   optional: an RFC 3161 time-stamping server, so that the signature
#                           stays valid after the certificate expires
# The password reaches osslsigncode as the name of its file (-readpass): it is never on a
# command line or in a log. Included by the package scripts (PreBuild.cmake, SignFile.cmake).

# qs_signing_requested(<out_var>): TRUE when both variables name existing files, FALSE when
# neither is set; anything in between stops the package with the reason.
function(qs_signing_requested out_var)
  set(pkcs12 "$ENV{QS_SIGN_PKCS12}")
  set(password "$ENV{QS_SIGN_PASSWORD_FILE}")
  if(pkcs12 STREQUAL "" AND password STREQUAL "")
    set(${out_var} FALSE PARENT_SCOPE)
    return()
  endif()
  if(pkcs12 STREQUAL "" OR password STREQUAL "")
    message(FATAL_ERROR "Signing needs both QS_SIGN_PKCS12 and QS_SIGN_PASSWORD_FILE "
                        "(or neither, for an unsigned package).")
  endif()
  foreach(var QS_SIGN_PKCS12 QS_SIGN_PASSWORD_FILE)
    if(NOT EXISTS "$ENV{${var}}" OR IS_DIRECTORY "$ENV{${var}}")
      message(FATAL_ERROR "${var} names $ENV{${var}}, which is not a file.")
    endif()
  endforeach()
  set(${out_var} TRUE PARENT_SCOPE)
endfunction()

# qs_sign(<file> <description>): signs <file> in place (SHA-256; <description> is the name that
# Windows shows, in the elevation prompt for instance). The signed copy is written beside it and
# renamed over it only when osslsigncode succeeded: a failure leaves <file> as it was, unsigned.
function(qs_sign file description)
  find_program(QS_OSSLSIGNCODE osslsigncode)
  if(NOT QS_OSSLSIGNCODE)
    message(FATAL_ERROR "Signing needs osslsigncode (Debian: osslsigncode, scripts/setup.sh).")
  endif()
  set(timestamp "")
  if(NOT "$ENV{QS_SIGN_TIMESTAMP_URL}" STREQUAL "")
    set(timestamp -ts "$ENV{QS_SIGN_TIMESTAMP_URL}")
  endif()
  set(signed "${file}.signing")
  file(REMOVE "${signed}")
  execute_process(
    COMMAND ${QS_OSSLSIGNCODE} sign -pkcs12 "$ENV{QS_SIGN_PKCS12}"
            -readpass "$ENV{QS_SIGN_PASSWORD_FILE}" -h sha256 -n "${description}" ${timestamp}
            -in "${file}" -out "${signed}"
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    file(REMOVE "${signed}")
    get_filename_component(name "${file}" NAME)
    if(out MATCHES "mac verify failure|[Ww]rong password")
      set(reason "the password in QS_SIGN_PASSWORD_FILE ($ENV{QS_SIGN_PASSWORD_FILE}) does not "
                 "open QS_SIGN_PKCS12 ($ENV{QS_SIGN_PKCS12}): wrong password")
    elseif(timestamp AND out MATCHES "[Tt]imestamp")
      set(reason "the time-stamping server QS_SIGN_TIMESTAMP_URL ($ENV{QS_SIGN_TIMESTAMP_URL}) "
                 "did not answer")
    else()
      set(reason "osslsigncode failed")
    endif()
    string(JOIN "" reason ${reason})
    message(FATAL_ERROR "Cannot sign ${name}: ${reason}.\nosslsigncode said:\n${out}")
  endif()
  file(RENAME "${signed}" "${file}")
endfunction()
