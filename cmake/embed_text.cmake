# cmake -DOUTPUT=header -DNAMES="name;..." -DFILES="file;..." -P embed_text.cmake
# Writes a header that holds each file's text as `inline constexpr std::string_view NAME`, so a
# program carries the files it was built with.
set(text "// Generated from ${FILES} by cmake/embed_text.cmake; do not edit.\n#pragma once\n#include <string_view>\n")
foreach(name file IN ZIP_LISTS NAMES FILES)
  file(READ "${file}" content)
  string(FIND "${content}" ")embedded\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${file} holds the raw string's end marker")
  endif()
  string(APPEND text "inline constexpr std::string_view ${name} = R\"embedded(${content})embedded\";\n")
endforeach()
file(WRITE "${OUTPUT}.tmp" "${text}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
