# Warning and sanitizer settings shared by every target of ours.

# qs_warnings(<target>): warnings as errors on our own code.
function(qs_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX /permissive-)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
    # GCC 12 reports impossible -Wrestrict overlaps inside std::string when a literal is
    # prepended to a temporary string at -O2/-O3 (GCC bug 105651).
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
       AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
      target_compile_options(${target} PRIVATE -Wno-restrict)
    endif()
  endif()
endfunction()

if(QS_SANITIZE)
  if(MSVC)
    message(FATAL_ERROR "QS_SANITIZE is for GCC and Clang builds")
  endif()
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Windows builds compile the property list resource script into the module (resources/). The
# language is enabled here, at the top level, so every directory gets the rules for .rc files.
if(WIN32)
  enable_language(RC)
endif()
