# Build-time conversion of pictures and texts into C source for CMake users.
#
#   kestrin_add_header(<target> <picture.bmp>
#                      [MAGIC_PINK [KEY <colour> REPLACEMENT <colour>]])
#   lortane_add_source(<target> <text> VARIABLE <name>)
#
# Relative paths are taken from the calling folder's source folder; a picture
# or text that another custom command of that folder makes is given by its
# full path in the build tree. Both functions must be called in the folder
# that creates <target>, as CMake attaches generated files to targets only
# there.
#
# The tools run on a copy of the input held in the build tree, addressed by
# its bare file name: the generated comment and identifiers then never depend
# on where the checkout lives, and nothing is ever written into the source
# tree. Each output is regenerated when its input or the tool changes.
#
# The tools are the targets KestrinLortane::kestrin and KestrinLortane::lortane
# (built alongside when this project is added with add_subdirectory, imported
# after find_package(KestrinLortane)). KESTRIN_EXECUTABLE and
# LORTANE_EXECUTABLE name host programs to run instead, for cross-compiling.

include_guard(GLOBAL)

set(KESTRIN_EXECUTABLE "" CACHE FILEPATH
  "Host kestrin run at build time instead of KestrinLortane::kestrin (for cross-compiling)")
set(LORTANE_EXECUTABLE "" CACHE FILEPATH
  "Host lortane run at build time instead of KestrinLortane::lortane (for cross-compiling)")

# Functions see the caller's CMAKE_CURRENT_LIST_DIR, so the helper script's
# place is recorded now.
set_property(GLOBAL PROPERTY _KESTRIN_LORTANE_RUN_SCRIPT
  "${CMAKE_CURRENT_LIST_DIR}/KestrinLortaneRunTool.cmake")

# Sets <command_out> to the program to run for <tool> and <depends_out> to
# what an output must be rebuilt after when that program changes.
function(_kestrin_lortane_tool tool command_out depends_out)
  string(TOUPPER "${tool}" upper)
  set(override "${${upper}_EXECUTABLE}")
  if(override)
    if(NOT IS_ABSOLUTE "${override}" OR NOT EXISTS "${override}")
      message(FATAL_ERROR
        "${upper}_EXECUTABLE is '${override}': it must be the full path of an existing ${tool}")
    endif()
    set(${command_out} "${override}" PARENT_SCOPE)
    set(${depends_out} "${override}" PARENT_SCOPE)
    return()
  endif()
  set(target KestrinLortane::${tool})
  if(NOT TARGET ${target})
    message(FATAL_ERROR
      "${target} is not defined: add the Kestrin and Lortane project with add_subdirectory, "
      "call find_package(KestrinLortane), or set ${upper}_EXECUTABLE")
  endif()
  # DEPENDS on a built executable target also orders the build; an imported
  # one contributes only its file.
  get_target_property(aliased ${target} ALIASED_TARGET)
  if(aliased)
    set(target ${aliased})
  endif()
  set(${command_out} "$<TARGET_FILE:${target}>" PARENT_SCOPE)
  set(${depends_out} ${target} "$<TARGET_FILE:${target}>" PARENT_SCOPE)
endfunction()

function(_kestrin_lortane_check_target function target)
  if(NOT TARGET ${target})
    message(FATAL_ERROR "${function}: no target named '${target}'")
  endif()
  get_target_property(target_dir ${target} SOURCE_DIR)
  if(NOT target_dir STREQUAL CMAKE_CURRENT_SOURCE_DIR)
    message(FATAL_ERROR
      "${function}(${target} ...) must be called in ${target_dir}, where '${target}' is created")
  endif()
endfunction()

# The identifier prefixes kestrin derives from a file name: the defines use
# the name upper-cased and cut before its last dot, the array the name cut
# before its first dot; other bytes than [A-Za-z0-9_] become '_', and a
# leading digit gets a '_' before it.
function(_kestrin_identifier text out)
  string(REGEX REPLACE "[^A-Za-z0-9_]" "_" text "${text}")
  if(text MATCHES "^[0-9]")
    string(PREPEND text "_")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(_kestrin_prefixes file_name define_out array_out)
  string(REGEX REPLACE "^.*[/\\\\:]" "" name "${file_name}")
  string(TOUPPER "${name}" upper)
  string(FIND "${upper}" "." last_dot REVERSE)
  if(last_dot GREATER_EQUAL 0)
    string(SUBSTRING "${upper}" 0 ${last_dot} upper)
  endif()
  string(FIND "${name}" "." first_dot)
  if(first_dot GREATER_EQUAL 0)
    string(SUBSTRING "${name}" 0 ${first_dot} name)
  endif()
  _kestrin_identifier("${upper}" define_prefix)
  _kestrin_identifier("${name}" array_prefix)
  set(${define_out} "${define_prefix}" PARENT_SCOPE)
  set(${array_out} "${array_prefix}" PARENT_SCOPE)
endfunction()

# Adds the custom command that copies <input> to <folder>/<name> and runs
# <command> there; the tool prints only when it fails.
function(_kestrin_lortane_generate tool input folder name output comment)
  _kestrin_lortane_tool(${tool} program tool_depends)
  get_property(run_script GLOBAL PROPERTY _KESTRIN_LORTANE_RUN_SCRIPT)
  set(copy "${folder}/${name}")
  if(input STREQUAL copy)
    set(copy_step "")
  else()
    set(copy_step COMMAND "${CMAKE_COMMAND}" -E copy "${input}" "${name}")
  endif()
  add_custom_command(
    OUTPUT "${output}"
    BYPRODUCTS "${copy}"
    ${copy_step}
    COMMAND "${CMAKE_COMMAND}" -P "${run_script}" -- "${program}" ${ARGN}
    DEPENDS "${input}" ${tool_depends} "${run_script}"
    WORKING_DIRECTORY "${folder}"
    COMMENT "${comment}"
    VERBATIM)
endfunction()

function(kestrin_add_header target picture)
  cmake_parse_arguments(PARSE_ARGV 2 arg "MAGIC_PINK" "KEY;REPLACEMENT" "")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "kestrin_add_header: unexpected arguments: ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if((DEFINED arg_KEY) AND NOT (DEFINED arg_REPLACEMENT)
     OR (DEFINED arg_REPLACEMENT) AND NOT (DEFINED arg_KEY))
    message(FATAL_ERROR "kestrin_add_header: KEY and REPLACEMENT go together")
  endif()
  if(DEFINED arg_KEY AND NOT arg_MAGIC_PINK)
    message(FATAL_ERROR "kestrin_add_header: KEY and REPLACEMENT need MAGIC_PINK")
  endif()
  _kestrin_lortane_check_target(kestrin_add_header ${target})

  get_filename_component(picture "${picture}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  get_filename_component(name "${picture}" NAME)

  # Two pictures whose defines or arrays share a name would not compile
  # together; say so now rather than in the compiler's words later.
  _kestrin_prefixes("${name}" define_prefix array_prefix)
  get_target_property(known ${target} _KESTRIN_PICTURES)
  if(known)
    foreach(other IN LISTS known)
      get_filename_component(other_name "${other}" NAME)
      _kestrin_prefixes("${other_name}" other_define other_array)
      if(other_define STREQUAL define_prefix)
        set(clash "defines ${define_prefix}_WIDTH, ${define_prefix}_HEIGHT, ${define_prefix}_SIZE")
      elseif(other_array STREQUAL array_prefix)
        set(clash "array ${array_prefix}_Bitmap")
      else()
        continue()
      endif()
      message(FATAL_ERROR
        "kestrin_add_header: pictures ${other} and ${picture} of target ${target} "
        "would both give the ${clash}")
    endforeach()
  endif()
  set_property(TARGET ${target} APPEND PROPERTY _KESTRIN_PICTURES "${picture}")

  set(folder "${CMAKE_CURRENT_BINARY_DIR}/kestrin_headers/${target}")
  file(MAKE_DIRECTORY "${folder}")
  set(header "${folder}/${name}.h")
  set(options "")
  if(arg_MAGIC_PINK)
    list(APPEND options -MP)
    if(DEFINED arg_KEY)
      list(APPEND options "${arg_KEY}" "${arg_REPLACEMENT}")
    endif()
  endif()
  _kestrin_lortane_generate(kestrin "${picture}" "${folder}" "${name}" "${header}"
    "Converting ${name} with kestrin" ${options} "${name}")
  target_sources(${target} PRIVATE "${header}")
  target_include_directories(${target} PRIVATE "${folder}")
endfunction()

function(lortane_add_source target text)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "VARIABLE" "")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "lortane_add_source: unexpected arguments: ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT arg_VARIABLE)
    message(FATAL_ERROR "lortane_add_source: VARIABLE <name> is required")
  endif()
  _kestrin_lortane_check_target(lortane_add_source ${target})
  get_property(languages GLOBAL PROPERTY ENABLED_LANGUAGES)
  if(NOT "C" IN_LIST languages)
    message(FATAL_ERROR
      "lortane_add_source: the generated file is C source; enable C in project() or "
      "enable_language(C)")
  endif()

  get_filename_component(text "${text}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  get_filename_component(name "${text}" NAME)
  get_target_property(known ${target} _LORTANE_TEXTS)
  if(known)
    foreach(other IN LISTS known)
      get_filename_component(other_name "${other}" NAME)
      if(other_name STREQUAL name)
        message(FATAL_ERROR
          "lortane_add_source: texts ${other} and ${text} of target ${target} "
          "would both be converted to ${name}.c")
      endif()
    endforeach()
  endif()
  set_property(TARGET ${target} APPEND PROPERTY _LORTANE_TEXTS "${text}")

  set(folder "${CMAKE_CURRENT_BINARY_DIR}/lortane_sources/${target}")
  file(MAKE_DIRECTORY "${folder}")
  set(source "${folder}/${name}.c")
  _kestrin_lortane_generate(lortane "${text}" "${folder}" "${name}" "${source}"
    "Converting ${name} with lortane" "${arg_VARIABLE}" "${name}" "${name}.c")
  # The generated array ends with NULL but includes nothing, so it is
  # compiled through a unit that brings in <stddef.h> first.
  set(unit "${folder}/${name}_unit.c")
  file(GENERATE OUTPUT "${unit}" CONTENT
    "/* Compiles ${name}.c, made by lortane, which uses NULL and includes nothing. */\n#include <stddef.h>\n#include \"${name}.c\"\n")
  set_source_files_properties("${source}" PROPERTIES HEADER_FILE_ONLY ON)
  set_source_files_properties("${unit}" PROPERTIES OBJECT_DEPENDS "${source}")
  target_sources(${target} PRIVATE "${source}" "${unit}")
endfunction()
