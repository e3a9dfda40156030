# Turns docs/guide.md into one standalone HTML page: cmark-gfm converts the Markdown (tables
# included), the page template wraps it, and every picture is embedded as a data: URI (base64),
# so the page needs no file beside it.
#   cmake -DCMARK=... -DMARKDOWN=docs/guide.md -DTEMPLATE=guide-page.html -DVERSION=...
#         -DOUTPUT=guide.html -P GuideHtml.cmake
execute_process(COMMAND ${CMARK} --extension table --to html ${MARKDOWN}
  OUTPUT_VARIABLE body RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmark-gfm failed on ${MARKDOWN}")
endif()
get_filename_component(base ${MARKDOWN} DIRECTORY)
string(REGEX MATCHALL "src=\"[^\":]+\\.png\"" sources "${body}")
list(REMOVE_DUPLICATES sources)
foreach(source IN LISTS sources)
  string(REGEX REPLACE "^src=\"(.*)\"$" "\\1" file "${source}")
  if(NOT EXISTS ${base}/${file})
    message(FATAL_ERROR "${MARKDOWN} shows ${file}, which does not exist")
  endif()
  execute_process(COMMAND base64 -w0 ${base}/${file} OUTPUT_VARIABLE data RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "base64 failed on ${base}/${file}")
  endif()
  string(REPLACE "${source}" "src=\"data:image/png;base64,${data}\"" body "${body}")
endforeach()
set(QS_VERSION ${VERSION})
set(QS_GUIDE_BODY "${body}")
configure_file(${TEMPLATE} ${OUTPUT} @ONLY)
