# Runs one conversion for a build:
#   cmake [-DKL_INPUT=<source>] [-DKL_SHOW_REPORT=ON] -P KestrinLortaneRunTool.cmake --
#         <program> [<arg>...]
#
# Both tools narrate every run; a build log should show them only when one
# fails, and then in the tool's own words, followed by how it ended and which
# of the user's files it was converting (the tool sees only a copy). The
# companions' reports (KL_SHOW_REPORT) show also when a run succeeds, but only
# when they name a trap of the key colour ("<n> of <m> pixels are ..."): an
# artist finds the fringe in the build log.

set(command "")
set(after_separator FALSE)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(index RANGE ${last})
  if(after_separator)
    list(APPEND command "${CMAKE_ARGV${index}}")
  elseif(CMAKE_ARGV${index} STREQUAL "--")
    set(after_separator TRUE)
  endif()
endforeach()
if(NOT command)
  message(FATAL_ERROR "usage: cmake -P KestrinLortaneRunTool.cmake -- <program> [<arg>...]")
endif()

execute_process(COMMAND ${command} RESULT_VARIABLE status OUTPUT_VARIABLE output
                ERROR_VARIABLE output)
if(status STREQUAL "0" AND KL_SHOW_REPORT AND output MATCHES " of [0-9]+ pixels are ")
  string(REGEX REPLACE "\n$" "" output "${output}")
  message("${output}")
elseif(NOT status STREQUAL "0")
  list(JOIN command " " command_line)
  string(REGEX REPLACE "\n$" "" output "${output}")  # message() ends the line itself
  message("${output}")
  if(DEFINED KL_INPUT)
    set(converting "converting ${KL_INPUT}: ")
  endif()
  message(FATAL_ERROR
    "${converting}'${command_line}' failed (exit status ${status}) in ${CMAKE_CURRENT_BINARY_DIR}")
endif()
