# The installer under Wine, one case per test, each in its own fresh Wine prefix: a copy of a
# prefix that was initialised once for the build tree and never run in (the Windows system
# folders, which nothing here writes, are hard links to spare 600 MB per copy).
#   cmake -DCASE=<case> -DWINE_RUN=cmake/wine-run.sh -DWINESERVER=... -DTEMPLATE=<prefix>
#         -DWORK=<folder> [-DSETUP=<setup.exe> -DZIP=... -DTOP=... -DMODULE=... -DNEWER=...
#         -DOLDER=... -DHOLD=... -DVERSION=... -DPUBLISHER=... -DPROJECT_DOCS=...
#         -DCPACK=... -DCPACK_CONFIG=... -DMODULE_TESTS=<test program>;...]
#         -P InstallerTest.cmake
# The installed module must be the one in the zip (signed, when the package was made with a
# certificate); package_contents compares that one with MODULE, the module the tests ran.
# Cases:
#   template      initialise the template prefix (once; reused while Wine's version is the same)
#   payload       two host versions recorded (9.0 and 24.0, and a 25.0 without a common folder):
#                 the files land in 24.0's common folder\Quillstreak, exactly the zip's files
#                 (module moved up) and the uninstaller, byte for byte; the uninstall entry
#   no_host       nothing recorded: the standard common folder
#   keeps_newer   a newer module in the folder: exit code 2, nothing changed; /FORCE replaces it
#   replaces_older an older module in the folder: replaced; the same version again: replaced
#   unwritable    folders that cannot be used, created or written: exit code 3, nothing changed
#   module_in_use the installed module held loaded, as by the running host: the installer (exit
#                 code 3) and the uninstaller run in place (exit code 3) change nothing; released,
#                 the uninstaller run in place removes everything but itself
#   uninstall     the uninstaller removes what was installed and its entry, keeps another file
#                 and so the folder; without that file the folder goes too
#   signed        a package made with a throwaway certificate authority's code-signing
#                 certificate: the module, the installer and the uninstaller verify against that
#                 authority, the module without its signature is MODULE byte for byte, and the
#                 installed signed module passes MODULE_TESTS (loading, property list, version
#                 resource, a render); with a wrong password the package fails, saying so,
#                 and leaves no package and no half-signed file
cmake_minimum_required(VERSION 3.25)  # policies: IN_LIST, GLOB_RECURSE not following links

foreach(var CASE WINE_RUN WINESERVER TEMPLATE WORK)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()

set(prefix ${WORK}/prefix)
set(drive_c ${prefix}/drive_c)
set(uninstall_key "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quillstreak")
set(standard_folder "${drive_c}/Program Files/Adobe/Common/Plug-ins/7.0/MediaCore/Quillstreak")

# Ends the prefix's wine server (and any program still running in it), then fails.
function(fail text)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${prefix} ${WINESERVER} -k
    OUTPUT_QUIET ERROR_QUIET)
  message(FATAL_ERROR "${CASE}: ${text}\n(the prefix stays in ${prefix})")
endfunction()

# run(<exit code var> <output var> <program> <args...>): a program in the test's prefix.
function(run code_var out_var)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env QS_WINEPREFIX=${prefix} /bin/bash ${WINE_RUN} ${ARGN}
    RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE out TIMEOUT 90)
  set(${code_var} "${code}" PARENT_SCOPE)
  set(${out_var} "${out}" PARENT_SCOPE)
endfunction()

# setup(<expected exit code> <args...>): the installer, silently.
function(setup expected)
  run(code out ${SETUP} /S ${ARGN})
  if(NOT "${code}" STREQUAL "${expected}")
    fail("the installer (/S ${ARGN}) exited with ${code} instead of ${expected}\n${out}")
  endif()
endfunction()

function(expect_same actual wanted what)
  if(NOT EXISTS "${actual}")
    fail("${what}: ${actual} is missing")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${actual}" "${wanted}"
    RESULT_VARIABLE differs)
  if(NOT differs EQUAL 0)
    fail("${what}: ${actual} differs from ${wanted}")
  endif()
endfunction()

# Files (and folders) under <folder>, relative to it, sorted.
function(tree folder out_var)
  file(GLOB_RECURSE found LIST_DIRECTORIES true RELATIVE "${folder}" "${folder}/*")
  list(SORT found)
  set(${out_var} "${found}" PARENT_SCOPE)
endfunction()

# The uninstall entry's values as <name>=<data> (empty when there is no entry).
function(uninstall_entry out_var)
  run(code out reg query "${uninstall_key}" /reg:64)
  set(values "")
  if(code EQUAL 0)
    string(REPLACE ";" "," out "${out}")
    string(REPLACE "\n" ";" lines "${out}")
    foreach(line IN LISTS lines)
      string(STRIP "${line}" line)
      if(line MATCHES "^([A-Za-z]+) +REG_[A-Z_]+ +(.*)$")
        list(APPEND values "${CMAKE_MATCH_1}=${CMAKE_MATCH_2}")
      endif()
    endforeach()
  endif()
  set(${out_var} "${values}" PARENT_SCOPE)
endfunction()

# Registry entries as the host writes them (64-bit view), from REGEDIT4 text.
function(import_registry text)
  file(WRITE ${drive_c}/registry.reg "REGEDIT4\n\n${text}")
  run(code out reg import "C:\\registry.reg" /reg:64)
  file(REMOVE ${drive_c}/registry.reg)
  if(NOT code EQUAL 0)
    fail("reg import failed: ${out}")
  endif()
endfunction()

# The installed files (and folders) expected in the install folder: the module, the zip's other
# files, the uninstaller.
function(expected_tree out_var)
  set(files Quillstreak.aex INSTALL.txt NOTICES.txt CHANGES.txt guide guide.html guide.md
            Uninstall.exe)
  file(GLOB pictures RELATIVE ${PROJECT_DOCS} ${PROJECT_DOCS}/guide/*.png)
  list(APPEND files ${pictures})
  list(SORT files)
  set(${out_var} "${files}" PARENT_SCOPE)
endfunction()

# Fails unless <folder> holds exactly the installed files (what: the folder, in the message).
function(expect_installed_tree folder what)
  expected_tree(expected)
  tree(${folder} found)
  if(NOT found STREQUAL expected)
    fail("${what} holds\n  ${found}\ninstead of\n  ${expected}")
  endif()
endfunction()

# A stand-in module of another version in <folder>\Quillstreak.aex.
function(place_module module folder)
  file(MAKE_DIRECTORY "${folder}")
  file(COPY_FILE "${module}" "${folder}/Quillstreak.aex")
endfunction()

if(CASE STREQUAL "template")
  # Made again when Wine's version changed (a prefix of another version would be updated on
  # every start, in each copy).
  execute_process(COMMAND ${WINESERVER} --version OUTPUT_VARIABLE wine_version
    ERROR_VARIABLE wine_version)
  string(STRIP "${wine_version}" wine_version)
  set(made_with "-")
  if(EXISTS ${TEMPLATE}.wine-version)
    file(READ ${TEMPLATE}.wine-version made_with)
  endif()
  if(EXISTS ${TEMPLATE}/.quillstreak-ready AND made_with STREQUAL wine_version)
    message(STATUS "template prefix ${TEMPLATE} (${wine_version}) is ready")
    return()
  endif()
  file(REMOVE_RECURSE ${TEMPLATE} ${TEMPLATE}.wine-version)
  # wine-run.sh initialises a missing prefix (wineboot, then it waits for that wine server to
  # end, which saves the registry) before it runs the program. The server it then starts for the
  # program would linger for 30 s: end it.
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env QS_WINEPREFIX=${TEMPLATE} /bin/bash ${WINE_RUN} cmd /c exit 0
    RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE out)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${TEMPLATE} ${WINESERVER} -k
    OUTPUT_QUIET ERROR_QUIET)
  if(NOT code EQUAL 0 OR NOT EXISTS ${TEMPLATE}/.quillstreak-ready)
    file(REMOVE_RECURSE ${TEMPLATE})
    message(FATAL_ERROR "could not initialise the Wine prefix ${TEMPLATE}: ${code}\n${out}")
  endif()
  file(WRITE ${TEMPLATE}.wine-version "${wine_version}")
  message(STATUS "template prefix ${TEMPLATE} initialised with ${wine_version}")
  return()
endif()

foreach(var SETUP MODULE VERSION PUBLISHER PROJECT_DOCS)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()
if(NOT EXISTS ${TEMPLATE}/.quillstreak-ready)
  message(FATAL_ERROR "no template prefix at ${TEMPLATE} (test installer_wine_template)")
endif()
if(NOT EXISTS ${SETUP})
  message(FATAL_ERROR "no installer at ${SETUP} (test package_build)")
endif()

# The fresh prefix: everything copied except the Windows system folders, which are hard links.
execute_process(COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${prefix} ${WINESERVER} -k
  OUTPUT_QUIET ERROR_QUIET)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${prefix})
execute_process(
  COMMAND /bin/bash -c [[
    set -e
    tar -C "$1" --exclude=./drive_c/windows/system32 --exclude=./drive_c/windows/winsxs -cf - . |
      tar -C "$2" -xf -
    cp -al "$1/drive_c/windows/system32" "$1/drive_c/windows/winsxs" "$2/drive_c/windows/"
  ]] copy ${TEMPLATE} ${prefix}
  RESULT_VARIABLE code ERROR_VARIABLE out)
if(NOT code EQUAL 0)
  fail("could not copy the template prefix: ${out}")
endif()

# unpack_module(<zip> <out_var>): the module packed in <zip>, unpacked under WORK.
function(unpack_module zip out_var)
  set(module "${TOP}/Plug-ins/Quillstreak/Quillstreak.aex")
  get_filename_component(name ${zip} NAME_WE)
  file(MAKE_DIRECTORY ${WORK}/${name})
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${zip} ${module}
    WORKING_DIRECTORY ${WORK}/${name} RESULT_VARIABLE code)
  if(NOT code EQUAL 0 OR NOT EXISTS ${WORK}/${name}/${module})
    fail("cannot unpack ${module} from ${zip}")
  endif()
  set(${out_var} ${WORK}/${name}/${module} PARENT_SCOPE)
endfunction()
set(built_module ${MODULE})
unpack_module(${ZIP} MODULE)

if(CASE STREQUAL "payload")
  import_registry([[
[HKEY_LOCAL_MACHINE\SOFTWARE\Adobe\After Effects\9.0]
"CommonPluginInstallPath"="C:\\Hosts\\Nine\\Common\\"
"PluginInstallPath"="C:\\Hosts\\Nine\\Plug-ins\\"

[HKEY_LOCAL_MACHINE\SOFTWARE\Adobe\After Effects\24.0]
"CommonPluginInstallPath"="C:\\Hosts\\TwentyFour\\Common\\"
"PluginInstallPath"="C:\\Hosts\\TwentyFour\\Plug-ins\\"

[HKEY_LOCAL_MACHINE\SOFTWARE\Adobe\After Effects\25.0]
"PluginInstallPath"="C:\\Hosts\\TwentyFive\\Plug-ins\\"
]])
  setup(0)
  set(folder ${drive_c}/Hosts/TwentyFour/Common/Quillstreak)
  tree(${drive_c}/Hosts hosts)
  list(FILTER hosts EXCLUDE REGEX "^TwentyFour/Common/Quillstreak/")
  if(NOT hosts STREQUAL "TwentyFour;TwentyFour/Common;TwentyFour/Common/Quillstreak")
    fail("expected the files in 24.0's common folder only; C:\\Hosts holds ${hosts}")
  endif()

  # Exactly the zip's files, byte for byte, the module moved up; and the uninstaller.
  set(unpacked ${WORK}/zip)
  file(MAKE_DIRECTORY ${unpacked})
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${ZIP} WORKING_DIRECTORY ${unpacked}
    RESULT_VARIABLE code)
  if(NOT code EQUAL 0)
    fail("cannot open ${ZIP}")
  endif()
  file(GLOB_RECURSE zipped RELATIVE ${unpacked}/${TOP} ${unpacked}/${TOP}/*)
  set(wanted Uninstall.exe)
  foreach(file IN LISTS zipped)
    string(REGEX REPLACE "^Plug-ins/Quillstreak/" "" installed "${file}")
    list(APPEND wanted "${installed}")
    expect_same("${folder}/${installed}" "${unpacked}/${TOP}/${file}" "installed ${installed}")
  endforeach()
  file(GLOB_RECURSE installed_files RELATIVE ${folder} ${folder}/*)
  list(SORT wanted)
  list(SORT installed_files)
  if(NOT installed_files STREQUAL wanted)
    fail("the installer put\n  ${installed_files}\ninstead of\n  ${wanted}")
  endif()
  expect_installed_tree(${folder} "the install folder")
  expect_same(${folder}/Quillstreak.aex ${MODULE} "the module")

  uninstall_entry(entry)
  file(GLOB_RECURSE sizes ${folder}/*)
  set(bytes 0)
  foreach(file IN LISTS sizes)
    file(SIZE ${file} size)
    math(EXPR bytes "${bytes} + ${size}")
  endforeach()
  set(location "C:\\Hosts\\TwentyFour\\Common\\Quillstreak")
  foreach(value "DisplayName=Quillstreak" "DisplayVersion=${VERSION}" "Publisher=${PUBLISHER}"
                "InstallLocation=${location}" "UninstallString=\"${location}\\Uninstall.exe\"")
    if(NOT value IN_LIST entry)
      fail("the uninstall entry lacks ${value}: ${entry}")
    endif()
  endforeach()
  list(FILTER entry INCLUDE REGEX "^EstimatedSize=0x[0-9a-fA-F]+$")
  if(NOT entry MATCHES "=0x([0-9a-fA-F]+)$")
    fail("the uninstall entry has no EstimatedSize")
  endif()
  math(EXPR kib "0x${CMAKE_MATCH_1}")
  math(EXPR installed_kib "${bytes} / 1024")
  math(EXPR low "${installed_kib} / 2")
  math(EXPR high "${installed_kib} * 2")
  if(kib LESS low OR kib GREATER high)
    fail("EstimatedSize is ${kib} KiB, the installed files take ${installed_kib} KiB")
  endif()

elseif(CASE STREQUAL "no_host")
  setup(0)
  expect_installed_tree(${standard_folder} "the standard folder")
  expect_same(${standard_folder}/Quillstreak.aex ${MODULE} "the module")
  uninstall_entry(entry)
  set(location "InstallLocation=C:\\Program Files\\Adobe\\Common\\Plug-ins\\7.0\\MediaCore\\Quillstreak")
  if(NOT location IN_LIST entry)
    fail("the uninstall entry lacks ${location}: ${entry}")
  endif()

elseif(CASE STREQUAL "keeps_newer")
  set(folder ${drive_c}/Plugins/Quillstreak)
  place_module(${NEWER} ${folder})
  setup(2 /D=C:\\Plugins\\Quillstreak)
  expect_same(${folder}/Quillstreak.aex ${NEWER} "the newer module after a refused install")
  tree(${folder} found)
  if(NOT found STREQUAL "Quillstreak.aex")
    fail("the refused install left\n  ${found}")
  endif()
  uninstall_entry(entry)
  if(entry)
    fail("the refused install wrote an uninstall entry: ${entry}")
  endif()
  # Told to, it replaces it.
  setup(0 /FORCE /D=C:\\Plugins\\Quillstreak)
  expect_same(${folder}/Quillstreak.aex ${MODULE} "the module installed with /FORCE")

elseif(CASE STREQUAL "replaces_older")
  set(folder ${drive_c}/Plugins/Quillstreak)
  place_module(${OLDER} ${folder})
  setup(0 /D=C:\\Plugins\\Quillstreak)
  expect_same(${folder}/Quillstreak.aex ${MODULE} "the module that replaced an older one")
  # The same version again: replaced in place.
  file(WRITE ${folder}/guide.md "changed by the test")
  setup(0 /D=C:\\Plugins\\Quillstreak)
  expect_same(${folder}/Quillstreak.aex ${MODULE} "the module installed over the same version")
  file(READ ${folder}/guide.md text)
  if(text STREQUAL "changed by the test")
    fail("installing the same version again did not replace guide.md")
  endif()
  expect_installed_tree(${folder} "the folder")

elseif(CASE STREQUAL "unwritable")
  # Folders that cannot be written even by root (which Wine runs as in some containers, and which
  # file permissions would not stop). C:\Blocked is a file, so no folder can be made under it.
  file(WRITE ${drive_c}/Blocked "a file where the installer wants a folder")
  # C:\ apart from Wine's own folders (the temporary folder is in users).
  set(outside_wine "Blocked;Program Files;Program Files (x86);ProgramData")
  set(before "")
  foreach(entry IN LISTS outside_wine)
    tree("${drive_c}/${entry}" files)
    list(APPEND before "${entry}" ${files})
  endforeach()
  # A file in the path (NSIS itself rejects the folder); a folder that cannot be created, and
  # one that exists but takes no file: /proc, through Wine's drive Z:, read-only even for root.
  setup(3 /D=C:\\Blocked\\Quillstreak)
  setup(3 /D=Z:\\proc\\Quillstreak)
  setup(3 /D=Z:\\proc)
  file(GLOB after LIST_DIRECTORIES true RELATIVE ${drive_c} ${drive_c}/*)
  list(REMOVE_ITEM after users windows ${outside_wine})
  if(after)
    fail("the failed install created ${after} in C:\\")
  endif()
  foreach(entry IN LISTS outside_wine)
    tree("${drive_c}/${entry}" files)
    list(APPEND after "${entry}" ${files})
  endforeach()
  file(READ ${drive_c}/Blocked text)
  if(NOT before STREQUAL after OR NOT text STREQUAL "a file where the installer wants a folder")
    fail("the failed install changed C:\\")
  endif()
  uninstall_entry(entry)
  if(entry)
    fail("the failed install wrote an uninstall entry: ${entry}")
  endif()

elseif(CASE STREQUAL "module_in_use")
  set(folder ${drive_c}/Plugins/Quillstreak)
  setup(0 /D=C:\\Plugins\\Quillstreak)
  tree(${folder} installed)
  # The holder runs in the background until C:\stop exists; it says when it holds the module.
  execute_process(COMMAND /bin/bash -c [[
      QS_WINEPREFIX="$1" /bin/bash "$2" "$3" 'C:\Plugins\Quillstreak\Quillstreak.aex' \
        'C:\ready' 'C:\stop' >"$4" 2>&1 </dev/null &
    ]] hold ${prefix} ${WINE_RUN} ${HOLD} ${WORK}/hold.log)
  foreach(attempt RANGE 150)
    if(EXISTS ${drive_c}/ready)
      break()
    endif()
    execute_process(COMMAND sleep 0.2)
  endforeach()
  if(NOT EXISTS ${drive_c}/ready)
    file(READ ${WORK}/hold.log log)
    fail("the holder did not load the module: ${log}")
  endif()
  # (/FORCE: the version check would not stop it anyway; the module in use must.)
  setup(3 /FORCE /D=C:\\Plugins\\Quillstreak)
  run(code out "C:\\Plugins\\Quillstreak\\Uninstall.exe" /S "_?=C:\\Plugins\\Quillstreak")
  if(NOT code EQUAL 3)
    fail("the uninstaller exited with ${code} instead of 3 while the module was in use\n${out}")
  endif()
  tree(${folder} found)
  if(NOT found STREQUAL installed)
    fail("with the module in use, the folder changed to\n  ${found}\nfrom\n  ${installed}")
  endif()
  expect_same(${folder}/Quillstreak.aex ${MODULE} "the module in use")
  uninstall_entry(entry)
  if(NOT entry)
    fail("the uninstaller removed its entry while the module was in use")
  endif()
  # Released: the uninstaller run in place waits and removes everything but itself.
  file(WRITE ${drive_c}/stop "")
  foreach(attempt RANGE 150)
    if(NOT EXISTS ${drive_c}/ready)
      break()
    endif()
    execute_process(COMMAND sleep 0.2)
  endforeach()
  run(code out "C:\\Plugins\\Quillstreak\\Uninstall.exe" /S "_?=C:\\Plugins\\Quillstreak")
  if(NOT code EQUAL 0)
    fail("the uninstaller run in place exited with ${code}\n${out}")
  endif()
  tree(${folder} found)
  if(NOT found STREQUAL "Uninstall.exe")
    fail("the uninstaller run in place left\n  ${found}")
  endif()

elseif(CASE STREQUAL "uninstall")
  set(folder ${drive_c}/Plugins/Quillstreak)
  setup(0 /D=C:\\Plugins\\Quillstreak)
  # Another plug-in's file in the same folder, and one in the guide folder: they stay, and so do
  # the folders that hold them.
  file(WRITE ${folder}/Other.aex "another plug-in")
  file(WRITE ${folder}/guide/notes.txt "the user's notes")
  foreach(pass 1 2)
    run(code out "C:\\Plugins\\Quillstreak\\Uninstall.exe" /S)
    if(NOT code EQUAL 0)
      fail("the uninstaller exited with ${code}\n${out}")
    endif()
    # The uninstaller goes on in a copy of itself in the temporary folder after the program
    # started here has returned; the last things it does are to remove itself and then, if it
    # is empty, its folder. Wait for that (30 s at most).
    if(pass EQUAL 1)
      set(last_to_go ${folder}/Uninstall.exe)
    else()
      set(last_to_go ${folder})
    endif()
    foreach(attempt RANGE 150)
      if(NOT EXISTS ${last_to_go})
        break()
      endif()
      execute_process(COMMAND sleep 0.2)
    endforeach()
    tree(${drive_c}/Plugins found)
    if(pass EQUAL 1)
      set(expected "Quillstreak;Quillstreak/Other.aex;Quillstreak/guide;Quillstreak/guide/notes.txt")
    else()
      set(expected "")
    endif()
    if(NOT found STREQUAL expected)
      fail("after uninstalling (pass ${pass}) C:\\Plugins holds\n  ${found}\ninstead of\n  ${expected}")
    endif()
    uninstall_entry(entry)
    if(entry)
      fail("the uninstaller left its entry: ${entry}")
    endif()
    if(pass EQUAL 1)
      # Once more without the other files: the folder goes too.
      file(REMOVE ${folder}/Other.aex ${folder}/guide/notes.txt)
      setup(0 /D=C:\\Plugins\\Quillstreak)
    endif()
  endforeach()

elseif(CASE STREQUAL "signed")
  # The throwaway authority and its code-signing certificate, in a PKCS#12 file whose password
  # is in a file.
  set(ca ${WORK}/ca)
  file(MAKE_DIRECTORY ${ca})
  file(WRITE ${ca}/password "a throwaway password\n")
  file(WRITE ${ca}/wrong-password "not the password\n")
  file(WRITE ${ca}/signer.ext
    "basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n")
  function(openssl)
    execute_process(COMMAND openssl ${ARGN} WORKING_DIRECTORY ${ca}
      RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT code EQUAL 0)
      fail("openssl ${ARGN} failed:\n${out}")
    endif()
  endfunction()
  openssl(req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Quillstreak Test Authority"
          -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign"
          -keyout ca.key -out ca.pem)
  openssl(req -newkey rsa:2048 -nodes -subj "/CN=Quillstreak Test Publisher"
          -keyout signer.key -out signer.csr)
  openssl(x509 -req -days 2 -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial
          -extfile signer.ext -out signer.pem)
  openssl(pkcs12 -export -inkey signer.key -in signer.pem -passout file:password
          -out signer.p12)

  # package(<folder> <password file> <exit code var> <output var>): cpack with the certificate.
  function(package folder password code_var out_var)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env --unset=QS_SIGN_TIMESTAMP_URL
              QS_SIGN_PKCS12=${ca}/signer.p12 QS_SIGN_PASSWORD_FILE=${password}
              ${CPACK} --config ${CPACK_CONFIG} -B ${folder}
      RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE out)
    set(${code_var} "${code}" PARENT_SCOPE)
    set(${out_var} "${out}" PARENT_SCOPE)
  endfunction()
  function(verify file)
    execute_process(COMMAND osslsigncode verify -CAfile ${ca}/ca.pem -in ${file}
      RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT code EQUAL 0 OR NOT out MATCHES "Signature verification: ok")
      fail("osslsigncode verify ${file} failed:\n${out}")
    endif()
  endfunction()

  # A wrong password: the package fails and says why; nothing is left, signed or half signed.
  package(${WORK}/wrong ${ca}/wrong-password code out)
  if(code EQUAL 0 OR NOT out MATCHES "wrong password")
    fail("with a wrong password cpack exited with ${code}, saying\n${out}")
  endif()
  if(out MATCHES "a throwaway password")
    fail("the password appears in cpack's output")
  endif()
  file(GLOB left ${WORK}/wrong/*.zip ${WORK}/wrong/*.exe ${WORK}/wrong/SHA256SUMS)
  file(GLOB_RECURSE partial ${WORK}/wrong/*.signing)
  if(left OR partial)
    fail("a package that failed to sign left ${left} ${partial}")
  endif()
  file(GLOB_RECURSE staged ${WORK}/wrong/*.aex)
  foreach(module IN LISTS staged)
    expect_same(${module} ${built_module} "the module that could not be signed")
  endforeach()

  set(signed ${WORK}/signed)
  package(${signed} ${ca}/password code out)
  if(NOT code EQUAL 0)
    fail("cpack with the test certificate failed:\n${out}")
  endif()
  get_filename_component(setup_name ${SETUP} NAME)
  get_filename_component(zip_name ${ZIP} NAME)
  set(SETUP ${signed}/${setup_name})
  unpack_module(${signed}/${zip_name} signed_module)
  verify(${signed_module})
  verify(${SETUP})
  execute_process(
    COMMAND osslsigncode remove-signature -in ${signed_module} -out ${WORK}/unsigned.aex
    OUTPUT_QUIET ERROR_QUIET)
  expect_same(${WORK}/unsigned.aex ${built_module} "the signed module without its signature")

  set(folder ${drive_c}/Plugins/Quillstreak)
  setup(0 /D=C:\\Plugins\\Quillstreak)
  expect_same(${folder}/Quillstreak.aex ${signed_module} "the installed signed module")
  verify(${folder}/Uninstall.exe)
  set(ENV{QUILLSTREAK_MODULE} "C:\\Plugins\\Quillstreak\\Quillstreak.aex")
  foreach(program IN LISTS MODULE_TESTS)
    run(code out ${program})
    if(NOT code EQUAL 0)
      fail("${program} failed on the signed module:\n${out}")
    endif()
  endforeach()

else()
  message(FATAL_ERROR "unknown case ${CASE}")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${prefix} ${WINESERVER} -k
  OUTPUT_QUIET ERROR_QUIET)
file(REMOVE_RECURSE ${WORK})
message(STATUS "${CASE}: passed")
