# quillstreak_scene_pictures: the part of the renderer's library that reads scene files, sets them
# up on the host and turns rendered frames into pictures (scene files, the parameter catalog, the
# render session and the trail copies it counts, frame pictures, contact sheets). It needs only
# nlohmann-json besides the host library, so it builds everywhere, the Windows cross build
# included; libpng adds reading and writing PNG files (image and sequence layers, frame files)
# where it is found.
#
# Included by tools/CMakeLists.txt and by tests/tools/CMakeLists.txt (whose tests use it even in
# builds without the command-line renderer). Defines QS_HAVE_PNG (0 or 1) for its users.

include_guard(GLOBAL)

if(NOT TARGET quillstreak_host)
  message(STATUS "quillstreak_scene_pictures skipped: needs the host library")
  return()
endif()

# nlohmann-json is header-only. A cross build searches only the target's sysroot for packages,
# where Debian installs none; the build machine's headers serve any target, but only that folder
# may reach the target compiler (the rest of /usr/include is the build machine's C library), so
# it is copied into the build tree.
find_package(nlohmann_json 3 QUIET)
if(NOT nlohmann_json_FOUND)
  find_path(QS_NLOHMANN_JSON_INCLUDE_DIR nlohmann/json.hpp
    PATHS /usr/include /usr/local/include
    NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(QS_NLOHMANN_JSON_INCLUDE_DIR)
    set(qs_json_copy ${CMAKE_BINARY_DIR}/qs-nlohmann-json/include)
    file(COPY ${QS_NLOHMANN_JSON_INCLUDE_DIR}/nlohmann DESTINATION ${qs_json_copy})
    add_library(qs_nlohmann_json INTERFACE)
    target_include_directories(qs_nlohmann_json SYSTEM INTERFACE ${qs_json_copy})
    add_library(nlohmann_json::nlohmann_json ALIAS qs_nlohmann_json)
    set(nlohmann_json_FOUND TRUE)
    message(STATUS "nlohmann-json: headers from ${QS_NLOHMANN_JSON_INCLUDE_DIR}")
  endif()
endif()
if(NOT nlohmann_json_FOUND)
  message(STATUS "quillstreak_scene_pictures skipped: needs nlohmann-json (nlohmann-json3-dev)")
  return()
endif()

find_package(PNG QUIET)
# Video layers run ffmpeg (renderer/VideoSource.h).
include(${CMAKE_CURRENT_LIST_DIR}/Process.cmake)

set(qs_scene_lib ${CMAKE_CURRENT_LIST_DIR}/lib)
add_library(quillstreak_scene_pictures STATIC
  ${qs_scene_lib}/picture/ContactSheet.cpp
  ${qs_scene_lib}/picture/FrameImage.cpp
  ${qs_scene_lib}/scene/DemoScene.cpp
  ${qs_scene_lib}/scene/JsonReader.cpp
  ${qs_scene_lib}/scene/KeyframeReader.cpp
  ${qs_scene_lib}/scene/ParamCatalog.cpp
  ${qs_scene_lib}/scene/ParamSettings.cpp
  ${qs_scene_lib}/scene/SceneFile.cpp
  ${qs_scene_lib}/scene/SceneSchema.cpp
  ${qs_scene_lib}/scene/SourceSchema.cpp
  ${qs_scene_lib}/scene/Session.cpp
  ${qs_scene_lib}/scene/Suggest.cpp
  ${qs_scene_lib}/scene/TrailCopies.cpp
  ${qs_scene_lib}/scene/VideoSource.cpp)
# The headers other folders include, as "renderer/<file>.h", are the library's public include
# root; the rest sit beside their sources and are included by folder ("scene/JsonReader.h").
target_include_directories(quillstreak_scene_pictures PUBLIC ${CMAKE_CURRENT_LIST_DIR}/include
  PRIVATE ${qs_scene_lib})
target_link_libraries(quillstreak_scene_pictures
  PUBLIC quillstreak_host quillstreak_hostapi quillstreak_process
  PRIVATE nlohmann_json::nlohmann_json)
if(PNG_FOUND)
  target_sources(quillstreak_scene_pictures PRIVATE ${qs_scene_lib}/picture/Png.cpp
    ${qs_scene_lib}/scene/SequenceSource.cpp)
  target_link_libraries(quillstreak_scene_pictures PUBLIC PNG::PNG)
  target_compile_definitions(quillstreak_scene_pictures PUBLIC QS_HAVE_PNG=1)
else()
  message(STATUS "quillstreak_scene_pictures: no libpng, so scenes cannot use image or "
                 "sequence layers")
  target_compile_definitions(quillstreak_scene_pictures PUBLIC QS_HAVE_PNG=0)
endif()
qs_warnings(quillstreak_scene_pictures)
