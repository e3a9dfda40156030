# quillstreak_process: running another program without a shell (renderer/Process.h), on Linux
# and Windows. It needs nothing but the C++ standard library and threads, so it builds
# everywhere, the Windows cross build included, where its tests run under Wine.
#
# Included by tools/CMakeLists.txt and by tests/tools/CMakeLists.txt.

include_guard(GLOBAL)

find_package(Threads REQUIRED)
add_library(quillstreak_process STATIC ${CMAKE_CURRENT_LIST_DIR}/lib/process/Process.cpp)
target_include_directories(quillstreak_process PUBLIC ${CMAKE_CURRENT_LIST_DIR}/include
  PRIVATE ${CMAKE_CURRENT_LIST_DIR}/lib)
target_link_libraries(quillstreak_process PRIVATE Threads::Threads)
qs_warnings(quillstreak_process)
