# Warning and sanitizer settings shared by every target of ours.

# qs_warnings(<target>): the warnings every target of ours builds with; errors when QS_WERROR
# is on.
function(qs_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /permissive-)
    if(QS_WERROR)
      target_compile_options(${target} PRIVATE /WX)
    endif()
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    if(QS_WERROR)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
    # GCC 12 reports impossible -Wrestrict overlaps inside std::string when a literal is
    # prepended to a temporary string at -O2/-O3 (GCC bug 105651).
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
       AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
      target_compile_options(${target} PRIVATE -Wno-restrict)
    endif()
  endif()
endfunction()

# qs_strict_warnings(<target>): qs_warnings plus shadowed names and implicit conversions that
# may change a value (narrowing, signedness, integer to floating point), for the effect's own
# code: every such conversion there is written out. MSVC's /W4 already reports both kinds
# (C4244, C4267, C4456 to C4459).
function(qs_strict_warnings target)
  qs_warnings(${target})
  if(NOT MSVC)
    target_compile_options(${target} PRIVATE -Wshadow -Wconversion -Wsign-conversion)
  endif()
endfunction()

if(QS_SANITIZE)
  if(MSVC)
    message(FATAL_ERROR "QS_SANITIZE is for GCC and Clang builds")
  endif()
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# ThreadSanitizer: data races between the host's worker threads, the effect's pixel functions
# and hosts rendering on several threads at once. It cannot share a process with ASan.
if(QS_SANITIZE_THREAD)
  if(MSVC OR WIN32)
    message(FATAL_ERROR "QS_SANITIZE_THREAD is for GCC and Clang builds, not for Windows")
  endif()
  if(QS_SANITIZE)
    message(FATAL_ERROR "QS_SANITIZE_THREAD and QS_SANITIZE cannot be combined")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# Windows builds compile the property list resource script into the module (resources/). The
# language is enabled here, at the top level, so every directory gets the rules for .rc files.
if(WIN32)
  enable_language(RC)
endif()

# qs_program_path(<out_var> <path>): a build machine path as the programs built here see it. A
# Windows program run under Wine on a Unix build machine reaches the build machine's files
# through drive Z:.
function(qs_program_path out_var path)
  if(WIN32 AND CMAKE_HOST_UNIX)
    set(path "Z:${path}")
  endif()
  set(${out_var} "${path}" PARENT_SCOPE)
endfunction()
