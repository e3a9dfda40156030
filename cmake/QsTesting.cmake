# Test helpers shared by every tests/<folder>.
#
# qs_add_gtest(NAME <name> SOURCES <files...> [LIBS <targets...>] [TIMEOUT <seconds>])
#   Builds one GoogleTest executable linked with GTest::gtest_main and the given libraries,
#   and registers it as ONE ctest test of the same name (Windows builds run it under Wine,
#   where per-case discovery would start Wine once per case).
#   Sources may include the shared helpers in tests/support as "support/<file>.h".
#   The executable gets QS_MODULE_PATH, the path of the built Quillstreak module, as a string
#   literal it can hand to dlopen/LoadLibrary, and builds after the module.

include_guard(GLOBAL)

function(qs_add_gtest)
  cmake_parse_arguments(ARG "" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_NAME OR NOT ARG_SOURCES)
    message(FATAL_ERROR "qs_add_gtest: NAME and SOURCES are required")
  endif()
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE GTest::gtest_main ${ARG_LIBS})
  # Shared test helpers are included as "support/<file>.h" (tests/support).
  target_include_directories(${ARG_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  qs_program_path(module_path "$<TARGET_FILE:Quillstreak>")
  target_compile_definitions(${ARG_NAME} PRIVATE "QS_MODULE_PATH=\"${module_path}\"")
  add_dependencies(${ARG_NAME} Quillstreak)
  qs_warnings(${ARG_NAME})
  # With CMAKE_CROSSCOMPILING_EMULATOR set, ctest prefixes the Wine wrapper automatically.
  add_test(NAME ${ARG_NAME} COMMAND ${ARG_NAME})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${ARG_NAME} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
endfunction()
