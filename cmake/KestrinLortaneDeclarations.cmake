# Writes the declarations of a header kestrin made, for kestrin_add_header's
# DECLARATIONS:
#   cmake -DHEADER=<name>.h -DDECLARATIONS=<name>.decl.h -P KestrinLortaneDeclarations.cmake
#
# The defines are copied from the header as they stand, so they always hold
# the picture's own size and an includer of both headers sees the same
# definitions twice, which C and C++ allow. The file is left untouched when
# nothing in it would change, so that new pixels of a picture of the same size
# recompile only the source that defines the array.

file(STRINGS "${HEADER}" defines REGEX "^#define ")
file(STRINGS "${HEADER}" array REGEX "^const u32 [A-Za-z0-9_]+\\[")
list(LENGTH defines define_count)
if(NOT define_count EQUAL 3 OR NOT array MATCHES "^const u32 ([A-Za-z0-9_]+)\\[")
  message(FATAL_ERROR "${HEADER} does not hold kestrin's defines and array")
endif()
set(array "${CMAKE_MATCH_1}")
list(JOIN defines "\n" defines)
get_filename_component(header_name "${HEADER}" NAME)
get_filename_component(name "${DECLARATIONS}" NAME)
string(TOUPPER "KESTRIN_${name}" guard)
string(REGEX REPLACE "[^A-Z0-9_]" "_" guard "${guard}")

set(content "/* The size and array of ${header_name}, made by kestrin. Any number of sources
   may include this header; u32 must be defined first. */
#ifndef ${guard}
#define ${guard}

${defines}

#ifdef __cplusplus
extern \"C\" {
#endif
extern const u32 ${array}[];
#ifdef __cplusplus
}
#endif

#endif
")
if(EXISTS "${DECLARATIONS}")
  file(READ "${DECLARATIONS}" old)
  if(old STREQUAL content)
    return()
  endif()
endif()
file(WRITE "${DECLARATIONS}" "${content}")
