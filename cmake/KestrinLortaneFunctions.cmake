# Build-time conversion of pictures and texts into C source for CMake users.
#
#   kestrin_add_header(<target> <picture> [PUBLIC|PRIVATE|INTERFACE]
#                      [NAME <file name>]
#                      [MAGIC_PINK [KEY <colour> REPLACEMENT <colour>]]
#                      [DECLARATIONS] [PREVIEW] [OUTPUT_VARIABLE <variable>])
#   lortane_add_source(<target> <text> VARIABLE <name> [LANGUAGE C|CXX]
#                      [NAME <file name>] [OUTPUT_VARIABLE <variable>])
#
# kestrin_add_header makes <name>.h (<name> is a BMP's file name, the file
# name of another picture with .bmp for its extension, or NAME) and adds its
# folder to the target's include folders with the given
# scope (PRIVATE by default, INTERFACE for an INTERFACE library), so that a
# static library can hand its pictures on to the programs that link it. The
# header defines its array, so only one source may include it. DECLARATIONS
# also makes <name>.decl.h, holding the header's three defines and an extern
# declaration of the array, and compiles the array into <target> once: any
# number of sources may then include <name>.decl.h. PREVIEW also makes
# <name>.h.png with kestrin-preview, the picture as the console shows it
# (with --transparent and the key under MAGIC_PINK), built with <target>.
# The picture, a PNG or any BMP, first goes through kestrin-prepare into the
# BMP <name> that Kestrin reads (transparent pixels become the key, an odd
# width gets a column of it); a BMP that Kestrin reads already comes through
# byte for byte.
#
# lortane_add_source makes <name>.c holding `const char * <VARIABLE> []` and
# compiles it into <target>, as C or, with LANGUAGE CXX, as C++ (where
# VARIABLE may be a qualified name such as assets::help).
#
# OUTPUT_VARIABLE receives the full paths of the generated files: the header
# (then the declarations header and the source defining the array, with
# DECLARATIONS, then the preview, with PREVIEW), or lortane's source.
#
# Relative paths are taken from the calling folder's source folder. An input
# must exist, or be made by a custom command of the build (its GENERATED
# property), by the end of the configuration. A path or name that holds a
# character the build cannot carry, and two calls that would make one file,
# stop the configuration with a message that names them. Both functions must be called
# in the folder that creates <target>, as CMake attaches generated files to
# targets only there.
#
# The tools run on a copy of the input held in the build tree, addressed by
# its bare file name (or NAME): the generated comment and identifiers then
# never depend on where the checkout lives, and nothing is ever written into
# the source tree. Each output is regenerated when its input or the tool
# changes.
#
# The tools are the targets KestrinLortane::kestrin, KestrinLortane::lortane,
# KestrinLortane::kestrin-prepare and KestrinLortane::kestrin-preview (built
# alongside when this project is added with add_subdirectory, imported after
# find_package(KestrinLortane)). KESTRIN_EXECUTABLE, LORTANE_EXECUTABLE,
# KESTRIN_PREPARE_EXECUTABLE (by default the one beside KESTRIN_EXECUTABLE)
# and KESTRIN_PREVIEW_EXECUTABLE name host programs to run instead, for
# cross-compiling.
# A cross build whose tools cannot run on the build machine runs them through
# CMAKE_CROSSCOMPILING_EMULATOR, or stops at configure time without one.

include_guard(GLOBAL)
# Whatever the including project's policies are, these functions keep the
# ones they were written for: functions record the policies in force where
# they are defined.
cmake_policy(PUSH)
cmake_policy(VERSION 3.21)

set(KESTRIN_EXECUTABLE "" CACHE FILEPATH
  "Host kestrin run at build time instead of KestrinLortane::kestrin (for cross-compiling)")
set(LORTANE_EXECUTABLE "" CACHE FILEPATH
  "Host lortane run at build time instead of KestrinLortane::lortane (for cross-compiling)")
set(KESTRIN_PREPARE_EXECUTABLE "" CACHE FILEPATH
  "Host kestrin-prepare run at build time instead of KestrinLortane::kestrin-prepare (for cross-compiling; by default the one beside KESTRIN_EXECUTABLE)")
set(KESTRIN_PREVIEW_EXECUTABLE "" CACHE FILEPATH
  "Host kestrin-preview run at build time instead of KestrinLortane::kestrin-preview (for cross-compiling)")

# Functions see the caller's CMAKE_CURRENT_LIST_DIR, so the helper scripts'
# place is recorded now.
set_property(GLOBAL PROPERTY _KESTRIN_LORTANE_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}")

# Sets <out> to the record of a machine that programs run on, as a package
# keeps it in the property KESTRIN_LORTANE_BUILT_FOR: "<system>/<processor>",
# with '%', '/', ';' and '$' written as %25, %2F, %3B and %24. It is one plain
# string for any names, an empty processor too (a toolchain file may leave
# CMAKE_SYSTEM_PROCESSOR unset), as an exported property must be.
function(_kestrin_lortane_machine system processor out)
  set(machine "")
  foreach(part IN ITEMS system processor)
    string(REPLACE "%" "%25" text "${${part}}")
    string(REPLACE "/" "%2F" text "${text}")
    string(REPLACE ";" "%3B" text "${text}")
    string(REPLACE "$" "%24" text "${text}")
    string(APPEND machine "/${text}")
  endforeach()
  string(SUBSTRING "${machine}" 1 -1 machine)
  set(${out} "${machine}" PARENT_SCOPE)
endfunction()

# Sets <command_out> to the program to run for <tool> and <depends_out> to
# what an output must be rebuilt after when that program changes.
function(_kestrin_lortane_tool tool command_out depends_out)
  string(TOUPPER "${tool}" upper)
  string(MAKE_C_IDENTIFIER "${upper}" upper)  # KESTRIN-PREVIEW: KESTRIN_PREVIEW
  set(override "${${upper}_EXECUTABLE}")
  # A host kestrin has its kestrin-prepare beside it, as the packages install
  # them: a cross build that names the one need not name the other.
  if(NOT override AND tool STREQUAL "kestrin-prepare" AND KESTRIN_EXECUTABLE)
    get_filename_component(folder "${KESTRIN_EXECUTABLE}" DIRECTORY)
    get_filename_component(suffix "${KESTRIN_EXECUTABLE}" LAST_EXT)
    if(EXISTS "${folder}/kestrin-prepare${suffix}")
      set(override "${folder}/kestrin-prepare${suffix}")
    endif()
  endif()
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
      "${target} is not defined: add the Kestrin and Lortane project with add_subdirectory "
      "or call find_package(KestrinLortane) before this call (in any folder: the programs "
      "are visible to the whole build), or set ${upper}_EXECUTABLE")
  endif()
  # DEPENDS on a built executable target also orders the build; an imported
  # one contributes only its file.
  get_target_property(aliased ${target} ALIASED_TARGET)
  if(aliased)
    set(target ${aliased})
  endif()
  set(runner "")
  if(CMAKE_CROSSCOMPILING)
    # A package records the machine its programs were built for; a program
    # built here is built for the target.
    get_target_property(built_for ${target} KESTRIN_LORTANE_BUILT_FOR)
    _kestrin_lortane_machine("${CMAKE_HOST_SYSTEM_NAME}" "${CMAKE_HOST_SYSTEM_PROCESSOR}" host)
    if(NOT built_for STREQUAL host)
      if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
        message(FATAL_ERROR
          "KestrinLortane::${tool} is built for ${CMAKE_SYSTEM_NAME}, which this build "
          "cross-compiles for, and cannot run on this ${CMAKE_HOST_SYSTEM_NAME} machine: set "
          "${upper}_EXECUTABLE to the full path of a ${tool} built for this machine "
          "(-D${upper}_EXECUTABLE=/usr/bin/${tool}), or CMAKE_CROSSCOMPILING_EMULATOR to a "
          "program that runs ${CMAKE_SYSTEM_NAME} programs here")
      endif()
      set(runner ${CMAKE_CROSSCOMPILING_EMULATOR})
    endif()
  endif()
  set(${command_out} ${runner} "$<TARGET_FILE:${target}>" PARENT_SCOPE)
  set(${depends_out} ${target} "$<TARGET_FILE:${target}>" PARENT_SCOPE)
endfunction()

# Sets <target_out> to the real target behind <target> (an alias is
# followed) and <type_out> to its type, after checking that generated files
# can be attached to it from here.
function(_kestrin_lortane_check_target function target target_out type_out)
  if(NOT TARGET "${target}")
    message(FATAL_ERROR "${function}: no target named '${target}'")
  endif()
  get_target_property(aliased ${target} ALIASED_TARGET)
  if(aliased)
    set(target ${aliased})
  endif()
  get_target_property(imported ${target} IMPORTED)
  get_target_property(type ${target} TYPE)
  if(imported OR NOT type MATCHES "^(EXECUTABLE|(STATIC|SHARED|MODULE|OBJECT|INTERFACE)_LIBRARY)$")
    message(FATAL_ERROR
      "${function}: '${target}' is not a program or library that this project builds")
  endif()
  get_target_property(target_dir ${target} SOURCE_DIR)
  if(NOT target_dir STREQUAL CMAKE_CURRENT_SOURCE_DIR)
    message(FATAL_ERROR
      "${function}(${target} ...) must be called in ${target_dir}, where '${target}' is created")
  endif()
  set(${target_out} ${target} PARENT_SCOPE)
  set(${type_out} ${type} PARENT_SCOPE)
endfunction()

# Every call of the two functions is a request, numbered in the order of the
# calls. What it was (the function, the target, the input as given and as a
# full path, the name it is converted under, the caller's list file) is kept
# in global properties under its number, and every file it makes is
# registered under the file's path: no path or name is ever read as CMake
# code, and a clash between any two outputs of the build, in any folder or
# target, is found while configuring.

# Sets <char_out> to the first character of <text> that the build cannot
# carry, under Make and Ninja alike, and <reason_out> to what goes wrong with
# it, as a sentence; both to "" when there is none. <role> says what <text>
# is: PATH, the full path of an input, which appears only among a rule's
# inputs and in commands; or NAME, a file name that the tools write and read
# in the build folder (or that folder), which also appears among a rule's
# outputs, in an #include and in the arguments of programs that may be
# Windows programs.
function(_kestrin_lortane_refused_character text role char_out reason_out)
  string(ASCII 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29
    30 31 127 controls)
  set(refused "];$|:\\\\?[")
  if(role STREQUAL "NAME")
    string(APPEND refused "#<>%\"*")
  endif()
  string(REGEX REPLACE "^[A-Za-z]:/" "/" text "${text}")  # a Windows drive's colon
  set(char "")
  set(reason "")
  if(text MATCHES "[${controls}]")
    string(HEX "${CMAKE_MATCH_0}" code)
    string(TOUPPER "${code}" code)
    set(char "a control character (0x${code})")
    set(reason "Make and Ninja cannot carry it")
  elseif(text MATCHES "[${refused}]")
    set(char "${CMAKE_MATCH_0}")
    if(char STREQUAL ";")
      set(reason "CMake reads it as a list separator")
    elseif(char MATCHES "[][]")
      set(reason "CMake reads it as a bracket that stops a list being split")
    elseif(char STREQUAL "$")
      set(reason "CMake, Make and Ninja read it as the start of an expression or a variable")
    elseif(char STREQUAL "|")
      set(reason "Make and Ninja read it as a separator of a rule's inputs")
    elseif(char STREQUAL ":")
      set(reason "Make reads it as the end of a rule's outputs")
    elseif(char STREQUAL "\\")
      set(reason "CMake reads it as an escape, and Windows as a folder separator")
    elseif(char STREQUAL "?")
      set(reason "the shell that runs the build's commands reads it as a wildcard")
    elseif(char MATCHES "[#<>]")
      set(reason "CMake does not take it in the outputs of a rule")
    elseif(char STREQUAL "%")
      set(reason "Make reads it as a pattern in the outputs of a rule")
    elseif(char STREQUAL "\"")
      set(reason "an #include cannot name a file that holds it")
    else()
      set(reason "Windows file names cannot hold it")
    endif()
    set(char "'${char}'")
  endif()
  set(${char_out} "${char}" PARENT_SCOPE)
  set(${reason_out} "${reason}" PARENT_SCOPE)
endfunction()

# Stops the configuration when <text>, which <what> names in the message,
# holds a character that the build cannot carry in its <role> (see above);
# <fix> says what to do instead.
function(_kestrin_lortane_check_characters function what text role fix)
  _kestrin_lortane_refused_character("${text}" ${role} char reason)
  if(char)
    message(FATAL_ERROR "${function}: ${what} holds ${char}: ${reason}; ${fix}")
  endif()
endfunction()

# Records a request of <function>(<target> <given> ...) that converts <given>
# under <name> (when empty, <default_name>, or else its own file name) in the
# folder <subfolder>/<target> of the current build folder. Sets <request_out>
# to the request's number, <path_out> to the input's full path, <name_out> to
# the name and <folder_out> to the folder.
function(_kestrin_lortane_request function target given name default_name subfolder request_out
         path_out name_out folder_out)
  get_filename_component(path "${given}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  _kestrin_lortane_check_characters(${function} "the path ${path}" "${path}" PATH
    "rename the file or the folder that holds it")
  set(named "${name}")
  if(name STREQUAL "" AND NOT default_name STREQUAL "")
    set(name "${default_name}")
    _kestrin_lortane_check_characters(${function} "the file name of ${path}" "${name}" NAME
      "rename the file, or convert it under a NAME without it")
  elseif(name STREQUAL "")
    get_filename_component(name "${path}" NAME)
    _kestrin_lortane_check_characters(${function} "the file name of ${path}" "${name}" NAME
      "rename the file, or convert it under a NAME without it")
  elseif(name MATCHES "[/\\\\]" OR name STREQUAL "." OR name STREQUAL "..")
    message(FATAL_ERROR "${function}: NAME '${name}' must be a file name without folders")
  else()
    _kestrin_lortane_check_characters(${function} "NAME ${name} (for ${path})" "${name}" NAME
      "choose a NAME without it")
  endif()
  set(folder "${CMAKE_CURRENT_BINARY_DIR}/${subfolder}/${target}")
  _kestrin_lortane_check_characters(${function} "the build folder ${folder}" "${folder}" NAME
    "configure the project in a build folder without it")

  get_property(request GLOBAL PROPERTY _KESTRIN_LORTANE_REQUESTS)
  if(NOT request)
    set(request 0)
    # A custom command declared later, in any folder, may make an input, so
    # the inputs are looked for once the whole project has been read.
    cmake_language(DEFER DIRECTORY "${CMAKE_SOURCE_DIR}" CALL _kestrin_lortane_check_inputs)
  endif()
  math(EXPR request "${request} + 1")
  set_property(GLOBAL PROPERTY _KESTRIN_LORTANE_REQUESTS ${request})
  set(list_file "${CMAKE_CURRENT_LIST_FILE}")
  foreach(field IN ITEMS function target given path name named list_file)
    set_property(GLOBAL PROPERTY _KESTRIN_LORTANE_REQUEST_${request}_${field} "${${field}}")
  endforeach()
  set(${request_out} ${request} PARENT_SCOPE)
  set(${path_out} "${path}" PARENT_SCOPE)
  set(${name_out} "${name}" PARENT_SCOPE)
  set(${folder_out} "${folder}" PARENT_SCOPE)
endfunction()

# Sets the variables named after the fields of request <request> (function,
# target, given, path, name, named: the NAME given, list_file) in the
# caller's scope.
macro(_kestrin_lortane_request_fields request)
  foreach(_kestrin_lortane_field IN ITEMS function target given path name named list_file)
    get_property(${_kestrin_lortane_field} GLOBAL PROPERTY
      _KESTRIN_LORTANE_REQUEST_${request}_${_kestrin_lortane_field})
  endforeach()
endmacro()

# Sets <out> to request <request> as its caller wrote it, for messages.
function(_kestrin_lortane_describe request out)
  _kestrin_lortane_request_fields(${request})
  if(NOT named STREQUAL "")
    set(named " NAME ${named}")
  endif()
  set(${out} "${function}(${target} ${given}${named} ...) in ${list_file}" PARENT_SCOPE)
endfunction()

# Registers the files after <request> as made by it. A file that another
# request makes already stops the configuration with a message that names
# both requests.
function(_kestrin_lortane_claim request)
  foreach(output IN LISTS ARGN)
    set(key "${output}")
    if(CMAKE_HOST_WIN32 OR CMAKE_HOST_APPLE)  # their file systems ignore case by default
      string(TOLOWER "${key}" key)
    endif()
    get_property(maker GLOBAL PROPERTY "_KESTRIN_LORTANE_OUTPUT ${key}")
    if(NOT maker)
      set_property(GLOBAL PROPERTY "_KESTRIN_LORTANE_OUTPUT ${key}" ${request})
    elseif(NOT maker EQUAL request)
      # The same input under the same name for the same target is one call
      # made twice (no field holds a ';', so the lists compare exactly).
      _kestrin_lortane_request_fields(${maker})
      set(first_call "${function}" "${target}" "${path}" "${name}")
      _kestrin_lortane_request_fields(${request})
      if(first_call STREQUAL "${function};${target};${path};${name}")
        set(input text)
        if(function STREQUAL "kestrin_add_header")
          set(input picture)
        endif()
        message(FATAL_ERROR
          "${function}: ${input} ${path} is added to target ${target} twice under one name; to "
          "convert it again (with other options, say), give the second one a NAME of its own")
      endif()
      _kestrin_lortane_describe(${maker} first)
      _kestrin_lortane_describe(${request} second)
      message(FATAL_ERROR
        "${function}: ${second} would make ${output}, which ${first} makes already; "
        "give one of them another NAME")
    endif()
  endforeach()
endfunction()

# Run at the end of the top folder: stops the configuration when an input of
# a request does not exist and no custom command of the build makes it.
function(_kestrin_lortane_check_inputs)
  get_property(count GLOBAL PROPERTY _KESTRIN_LORTANE_REQUESTS)
  set(folders "")
  foreach(request RANGE 1 ${count})
    _kestrin_lortane_request_fields(${request})
    if(EXISTS "${path}")
      continue()
    endif()
    # A custom command of any folder counts: look in every folder of the
    # build, listed once.
    if(NOT folders)
      set(pending "${CMAKE_SOURCE_DIR}")
      while(pending)
        list(POP_FRONT pending folder)
        list(APPEND folders "${folder}")
        get_property(subfolders DIRECTORY "${folder}" PROPERTY SUBDIRECTORIES)
        list(APPEND pending ${subfolders})
      endwhile()
    endif()
    set(generated FALSE)
    foreach(folder IN LISTS folders)
      get_source_file_property(generated "${path}" DIRECTORY "${folder}" GENERATED)
      if(generated)
        break()
      endif()
    endforeach()
    if(NOT generated)
      message(FATAL_ERROR
        "${function}(${target} ${given} ...) in ${list_file}: ${given} does not exist "
        "(looked for ${path}) and no custom command of this build makes it")
    endif()
  endforeach()
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

# A name to suggest instead of <name>: "_pic" put before its last dot.
function(_kestrin_other_name name out)
  string(FIND "${name}" "." last_dot REVERSE)
  if(last_dot LESS 0)
    set(${out} "${name}_pic" PARENT_SCOPE)
  else()
    string(SUBSTRING "${name}" 0 ${last_dot} stem)
    string(SUBSTRING "${name}" ${last_dot} -1 extension)
    set(${out} "${stem}_pic${extension}" PARENT_SCOPE)
  endif()
endfunction()

# Refuses a picture whose identifiers would not compile: beside another
# picture of the target with the same defines or array, or after the C
# library's headers. Says so now rather than in the compiler's words later.
function(_kestrin_check_names target picture name)
  _kestrin_prefixes("${name}" define_prefix array_prefix)
  _kestrin_other_name("${name}" suggestion)
  # Define prefixes whose <prefix>_WIDTH is also a macro of <stdint.h> or
  # <limits.h> in C23 and C++: such a header does not compile after those.
  set(library_width_prefixes
    INT8 INT16 INT32 INT64 UINT8 UINT16 UINT32 UINT64
    INT_LEAST8 INT_LEAST16 INT_LEAST32 INT_LEAST64
    UINT_LEAST8 UINT_LEAST16 UINT_LEAST32 UINT_LEAST64
    INT_FAST8 INT_FAST16 INT_FAST32 INT_FAST64
    UINT_FAST8 UINT_FAST16 UINT_FAST32 UINT_FAST64
    INTPTR UINTPTR INTMAX UINTMAX PTRDIFF SIZE WCHAR WINT SIG_ATOMIC
    CHAR SCHAR UCHAR SHRT USHRT INT UINT LONG ULONG LLONG ULLONG BOOL)
  if(define_prefix IN_LIST library_width_prefixes)
    message(FATAL_ERROR
      "kestrin_add_header: picture ${picture} of target ${target} would define "
      "${define_prefix}_WIDTH, a macro of <stdint.h> and <limits.h> in C23 and C++; "
      "convert it under another name, for example NAME ${suggestion}, or rename the file")
  endif()
  get_target_property(pictures ${target} _KESTRIN_PICTURES)
  get_target_property(names ${target} _KESTRIN_NAMES)
  if(NOT pictures)
    return()
  endif()
  foreach(other_picture other_name IN ZIP_LISTS pictures names)
    if(other_name STREQUAL name)
      continue()  # the same files, which _kestrin_lortane_claim refuses
    endif()
    _kestrin_prefixes("${other_name}" other_define other_array)
    if(other_define STREQUAL define_prefix)
      set(clash "defines ${define_prefix}_WIDTH, ${define_prefix}_HEIGHT, ${define_prefix}_SIZE")
    elseif(other_array STREQUAL array_prefix)
      set(clash "array ${array_prefix}_Bitmap")
    else()
      continue()
    endif()
    message(FATAL_ERROR
      "kestrin_add_header: pictures ${other_picture} and ${picture} of target ${target} "
      "would both give the ${clash}; convert one under another name, for example "
      "NAME ${suggestion}")
  endforeach()
endfunction()

# Adds the custom command of request <request> that copies <input> to
# <folder>/<name> (unless it is that file already, or DIRECT: the tool reads
# <input> where it is) and runs <tool> there with the arguments after ARGS,
# then the commands after THEN, making <output> and the files after
# BYPRODUCTS; the tool prints only when it fails, or with REPORT when its
# report names a trap of the key colour. Every file the command makes is
# registered as the request's.
function(_kestrin_lortane_generate request tool input folder name output comment)
  cmake_parse_arguments(PARSE_ARGV 7 gen "DIRECT;REPORT" "" "ARGS;THEN;BYPRODUCTS;DEPENDS")
  _kestrin_lortane_tool(${tool} program tool_depends)
  get_property(scripts GLOBAL PROPERTY _KESTRIN_LORTANE_SCRIPTS)
  set(run_script "${scripts}/KestrinLortaneRunTool.cmake")
  set(copy "${folder}/${name}")
  set(byproducts ${gen_BYPRODUCTS})
  if(input STREQUAL copy OR gen_DIRECT)
    set(copy_step "")
  else()
    # The copy is named by its full path, which no program reads as an option.
    set(copy_step COMMAND "${CMAKE_COMMAND}" -E copy "${input}" "${copy}")
    list(APPEND byproducts "${copy}")
  endif()
  _kestrin_lortane_claim(${request} "${output}" ${byproducts})
  add_custom_command(
    OUTPUT "${output}"
    BYPRODUCTS ${byproducts}
    ${copy_step}
    COMMAND "${CMAKE_COMMAND}" "-DKL_INPUT=${input}" "-DKL_SHOW_REPORT=${gen_REPORT}" -P
            "${run_script}" -- ${program} ${gen_ARGS}
    ${gen_THEN}
    DEPENDS "${input}" ${tool_depends} "${run_script}" ${gen_DEPENDS}
    WORKING_DIRECTORY "${folder}"
    COMMENT "${comment}"
    VERBATIM)
endfunction()

# The language a generated unit is compiled in: C when the project has it,
# else C++.
function(_kestrin_lortane_unit_language function out)
  get_property(languages GLOBAL PROPERTY ENABLED_LANGUAGES)
  if("C" IN_LIST languages)
    set(${out} C PARENT_SCOPE)
  elseif("CXX" IN_LIST languages)
    set(${out} CXX PARENT_SCOPE)
  else()
    message(FATAL_ERROR "${function}: DECLARATIONS needs C or C++ enabled in project()")
  endif()
endfunction()

# Sets <out> to <text> read as kestrin reads a colour, C's scanf("%i"): white
# space, a sign, then 0x hexadecimal, 0 octal or decimal, with the rest
# ignored; the value's low 24 bits as 0xRRGGBB, a negative value as its two's
# complement gives them. A value past the 64-bit range stops at its end, as in
# kestrin. Digits are taken modulo 2^24 one by one, so a number of any length
# stays within CMake's integers.
function(_kestrin_colour keyword text out)
  string(ASCII 11 12 vertical_tab_and_form_feed)
  if(NOT text MATCHES
     "^[ \t\n\r${vertical_tab_and_form_feed}]*([+-]?)(0[xX][0-9A-Fa-f]*|0[0-7]*|[1-9][0-9]*)")
    message(FATAL_ERROR
      "kestrin_add_header: ${keyword} '${text}' is not a colour: give a number such as "
      "0xFF00FF (hexadecimal), 077 (octal) or 255 (decimal)")
  endif()
  set(negative "${CMAKE_MATCH_1}")
  set(digits "${CMAKE_MATCH_2}")
  if(digits MATCHES "^0[xX](.*)$")
    set(base 16)
    set(digits "${CMAKE_MATCH_1}")
  elseif(digits MATCHES "^0")
    set(base 8)
  else()
    set(base 10)
  endif()
  string(TOLOWER "${digits}" digits)
  # 2^63 - 1, and 2^63 for a negative value, in the number's own base.
  if(negative STREQUAL "-")
    set(limit_16 8000000000000000)
    set(limit_10 9223372036854775808)
    set(limit_8 1000000000000000000000)
  else()
    set(limit_16 7fffffffffffffff)
    set(limit_10 9223372036854775807)
    set(limit_8 777777777777777777777)
  endif()
  string(REGEX REPLACE "^0+" "" significant "${digits}")
  string(LENGTH "${significant}" length)
  string(LENGTH "${limit_${base}}" limit_length)
  if(length GREATER limit_length OR
     (length EQUAL limit_length AND significant STRGREATER limit_${base}))
    if(negative STREQUAL "-")
      set(value 0)
    else()
      set(value 16777215)
    endif()
  else()
    string(REGEX MATCHALL "." digits "${digits}")
    set(value 0)
    foreach(digit IN LISTS digits)
      string(FIND "0123456789abcdef" "${digit}" digit)
      math(EXPR value "(${value} * ${base} + ${digit}) % 16777216")
    endforeach()
    if(negative STREQUAL "-")
      math(EXPR value "(16777216 - ${value}) % 16777216")
    endif()
  endif()
  math(EXPR value "${value} + 16777216" OUTPUT_FORMAT HEXADECIMAL)  # 0x1RRGGBB
  string(TOUPPER "${value}" value)
  string(REGEX REPLACE "^0X1" "0x" value "${value}")
  set(${out} "${value}" PARENT_SCOPE)
endfunction()

function(kestrin_add_header target picture)
  cmake_parse_arguments(PARSE_ARGV 2 arg
    "PUBLIC;PRIVATE;INTERFACE;MAGIC_PINK;DECLARATIONS;PREVIEW"
    "NAME;KEY;REPLACEMENT;OUTPUT_VARIABLE" "")
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
  if(arg_KEYWORDS_MISSING_VALUES)
    message(FATAL_ERROR "kestrin_add_header: ${arg_KEYWORDS_MISSING_VALUES} needs a value")
  endif()
  _kestrin_lortane_check_target(kestrin_add_header "${target}" target type)

  set(scope "")
  foreach(keyword PUBLIC PRIVATE INTERFACE)
    if(arg_${keyword})
      list(APPEND scope ${keyword})
    endif()
  endforeach()
  list(LENGTH scope scopes)
  if(scopes GREATER 1)
    message(FATAL_ERROR "kestrin_add_header: give one of PUBLIC, PRIVATE and INTERFACE")
  endif()
  if(type STREQUAL "INTERFACE_LIBRARY")
    if(scope STREQUAL "")
      set(scope INTERFACE)
    elseif(NOT scope STREQUAL "INTERFACE")
      message(FATAL_ERROR
        "kestrin_add_header: ${target} is an INTERFACE library, which takes INTERFACE only")
    endif()
    if(arg_DECLARATIONS)
      message(FATAL_ERROR
        "kestrin_add_header: DECLARATIONS compiles the array into ${target}, which an "
        "INTERFACE library cannot hold: use a STATIC or OBJECT library")
    endif()
  elseif(scope STREQUAL "")
    set(scope PRIVATE)
  endif()

  # Kestrin converts a BMP under its own name; another picture becomes one
  # named after it: ship.png is converted as ship.bmp.
  get_filename_component(file_name "${picture}" NAME)
  set(default_name "")
  if(NOT file_name MATCHES "\\.[Bb][Mm][Pp]$")
    get_filename_component(stem "${picture}" NAME_WLE)
    set(default_name "${stem}.bmp")
  endif()
  _kestrin_lortane_request(kestrin_add_header ${target} "${picture}" "${arg_NAME}"
    "${default_name}" kestrin_headers request path name folder)
  _kestrin_check_names(${target} "${path}" "${name}")
  set_property(TARGET ${target} APPEND PROPERTY _KESTRIN_PICTURES "${path}")
  set_property(TARGET ${target} APPEND PROPERTY _KESTRIN_NAMES "${name}")

  file(MAKE_DIRECTORY "${folder}")
  set(header "${folder}/${name}.h")
  set(options "")
  set(preview_options "")
  set(prepare_options "")
  if(arg_MAGIC_PINK)
    list(APPEND options -MP)
    set(preview_options --transparent)
    if(DEFINED arg_KEY)
      _kestrin_colour(KEY "${arg_KEY}" key)
      _kestrin_colour(REPLACEMENT "${arg_REPLACEMENT}" replacement)
      list(APPEND options ${key} ${replacement})
      set(preview_options --transparent=${key})
      set(prepare_options --key=${key})
    endif()
  endif()
  set(bitmap "${folder}/${name}")
  set(generated "${header}")
  set(declarations "")
  if(arg_DECLARATIONS)
    # The declarations are rewritten only when the picture's size or name
    # changes, so new pixels recompile the one source that defines them.
    get_property(scripts GLOBAL PROPERTY _KESTRIN_LORTANE_SCRIPTS)
    set(script "${scripts}/KestrinLortaneDeclarations.cmake")
    set(declarations "${folder}/${name}.decl.h")
    set(declaration_steps
      THEN COMMAND "${CMAKE_COMMAND}" "-DHEADER=${header}" "-DDECLARATIONS=${declarations}"
                   -P "${script}"
      BYPRODUCTS "${declarations}"
      DEPENDS "${script}")
  endif()
  _kestrin_lortane_generate(${request} kestrin "${bitmap}" "${folder}" "${name}" "${header}"
    "Converting ${name} with kestrin" ARGS ${options} "${name}" ${declaration_steps})
  # Every picture goes through kestrin-prepare into the BMP that Kestrin
  # converts (a BMP that Kestrin reads already comes out as it was, byte for
  # byte), but one that is that BMP's own file already.
  if(NOT path STREQUAL bitmap)
    _kestrin_lortane_generate(${request} kestrin-prepare "${path}" "${folder}" "${name}"
      "${bitmap}" "Preparing ${file_name} with kestrin-prepare" DIRECT REPORT
      ARGS ${prepare_options} -- "${path}" "${bitmap}")
  endif()

  if(arg_DECLARATIONS)
    _kestrin_lortane_unit_language(kestrin_add_header language)
    if(language STREQUAL "C")
      set(unit "${folder}/${name}.c")
      set(u32 "#include <stdint.h>\ntypedef uint32_t u32;")
    else()
      set(unit "${folder}/${name}.cpp")
      set(u32 "#include <cstdint>\ntypedef std::uint32_t u32;")
    endif()
    _kestrin_lortane_claim(${request} "${unit}")
    # The declarations come first: they give the array C linkage, also in C++.
    file(GENERATE OUTPUT "${unit}" CONTENT
      "/* Defines the array of ${name}.h, made by kestrin, once for target ${target}. */\n${u32}\n#include \"${name}.decl.h\"\n#include \"${name}.h\"\n")
    set_source_files_properties("${unit}" PROPERTIES OBJECT_DEPENDS "${header}")
    list(APPEND generated "${declarations}" "${unit}")
  endif()
  if(arg_PREVIEW)
    # A source of the target that is not compiled: made with it.
    # "--" ends the preview's options, so that no name is read as one.
    _kestrin_lortane_generate(${request} kestrin-preview "${header}" "${folder}" "${name}.h"
      "${header}.png" "Previewing ${name}.h with kestrin-preview" REPORT
      ARGS ${preview_options} -- "${name}.h")
    list(APPEND generated "${header}.png")
  endif()
  target_sources(${target} PRIVATE ${generated})
  target_include_directories(${target} ${scope} "${folder}")
  source_group("Generated Files/Kestrin" FILES ${generated})
  if(arg_OUTPUT_VARIABLE)
    set(${arg_OUTPUT_VARIABLE} "${generated}" PARENT_SCOPE)
  endif()
endfunction()

function(lortane_add_source target text)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "VARIABLE;LANGUAGE;NAME;OUTPUT_VARIABLE" "")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "lortane_add_source: unexpected arguments: ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT arg_VARIABLE)
    message(FATAL_ERROR "lortane_add_source: VARIABLE <name> is required")
  endif()
  if(arg_KEYWORDS_MISSING_VALUES)
    message(FATAL_ERROR "lortane_add_source: ${arg_KEYWORDS_MISSING_VALUES} needs a value")
  endif()
  if(NOT DEFINED arg_LANGUAGE)
    set(arg_LANGUAGE C)
  endif()
  set(identifier "[A-Za-z_][A-Za-z0-9_]*")
  if(arg_LANGUAGE STREQUAL "C")
    if(arg_VARIABLE MATCHES "^${identifier}(::${identifier})+$")
      message(FATAL_ERROR
        "lortane_add_source: VARIABLE ${arg_VARIABLE} is a C++ name: add LANGUAGE CXX")
    elseif(NOT arg_VARIABLE MATCHES "^${identifier}$")
      message(FATAL_ERROR "lortane_add_source: VARIABLE '${arg_VARIABLE}' is not a C identifier")
    endif()
    set(unit_extension c)
  elseif(arg_LANGUAGE STREQUAL "CXX")
    if(NOT arg_VARIABLE MATCHES "^${identifier}(::${identifier})*$")
      message(FATAL_ERROR
        "lortane_add_source: VARIABLE '${arg_VARIABLE}' is not a C++ name (such as help or assets::help)")
    endif()
    set(unit_extension cpp)
  else()
    message(FATAL_ERROR "lortane_add_source: LANGUAGE is C or CXX, not '${arg_LANGUAGE}'")
  endif()
  _kestrin_lortane_check_target(lortane_add_source "${target}" target type)
  if(type STREQUAL "INTERFACE_LIBRARY")
    message(FATAL_ERROR
      "lortane_add_source: the array is compiled into ${target}, which an INTERFACE library "
      "cannot hold: use a STATIC or OBJECT library")
  endif()
  get_property(languages GLOBAL PROPERTY ENABLED_LANGUAGES)
  if(NOT arg_LANGUAGE IN_LIST languages)
    if(arg_LANGUAGE STREQUAL "C")
      message(FATAL_ERROR
        "lortane_add_source: the generated file is compiled as C; enable C in project() "
        "or enable_language(C), or add LANGUAGE CXX to compile it as C++")
    endif()
    message(FATAL_ERROR
      "lortane_add_source: LANGUAGE CXX needs C++ enabled in project() or enable_language(CXX)")
  endif()

  _kestrin_lortane_request(lortane_add_source ${target} "${text}" "${arg_NAME}" "" lortane_sources
    request path name folder)
  file(MAKE_DIRECTORY "${folder}")
  set(source "${folder}/${name}.c")
  _kestrin_lortane_generate(${request} lortane "${path}" "${folder}" "${name}" "${source}"
    "Converting ${name} with lortane" ARGS "${arg_VARIABLE}" "${name}" "${name}.c")
  # The generated array ends with NULL but includes nothing, so it is
  # compiled through a unit that brings in <stddef.h> first. A qualified C++
  # name must be declared in its namespace before it is defined.
  set(unit "${folder}/${name}_unit.${unit_extension}")
  if(unit_extension STREQUAL "c")
    set(prelude "#include <stddef.h>\n")
  else()
    set(prelude "#include <cstddef>\n")
    string(REPLACE "::" ";" parts "${arg_VARIABLE}")
    list(POP_BACK parts variable)
    set(opening "")
    set(closing "")
    foreach(part IN LISTS parts)
      string(APPEND opening "namespace ${part} { ")
      string(APPEND closing " }")
    endforeach()
    if(parts)
      string(APPEND prelude "${opening}extern const char* ${variable}[];${closing}\n")
    endif()
  endif()
  _kestrin_lortane_claim(${request} "${unit}")
  file(GENERATE OUTPUT "${unit}" CONTENT
    "/* Compiles ${name}.c, made by lortane, which uses NULL and includes nothing. */\n${prelude}#include \"${name}.c\"\n")
  set_source_files_properties("${source}" PROPERTIES HEADER_FILE_ONLY ON)
  set_source_files_properties("${unit}" PROPERTIES OBJECT_DEPENDS "${source}")
  target_sources(${target} PRIVATE "${source}" "${unit}")
  source_group("Generated Files/Lortane" FILES "${source}" "${unit}")
  if(arg_OUTPUT_VARIABLE)
    set(${arg_OUTPUT_VARIABLE} "${source}" PARENT_SCOPE)
  endif()
endfunction()

cmake_policy(POP)
