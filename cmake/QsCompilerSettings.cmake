# Warning and sanitizer settings shared by every target of ours.

# qs_warnings(<target>): warnings as errors on our own code.
function(qs_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX /permissive-)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  endif()
endfunction()

if(QS_SANITIZE)
  if(MSVC)
    message(FATAL_ERROR "QS_SANITIZE is for GCC and Clang builds")
  endif()
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
