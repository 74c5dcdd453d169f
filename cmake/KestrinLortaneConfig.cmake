# find_package(KestrinLortane) gives the imported programs
# KestrinLortane::kestrin, KestrinLortane::lortane,
# KestrinLortane::kestrin-prepare and KestrinLortane::kestrin-preview and the
# functions kestrin_add_header and lortane_add_source.

if(CMAKE_VERSION VERSION_LESS 3.21)
  set(KestrinLortane_FOUND FALSE)
  set(KestrinLortane_NOT_FOUND_MESSAGE "KestrinLortane needs CMake 3.21 or newer")
  return()
endif()
# The caller may have set no policies at all (no cmake_minimum_required).
cmake_policy(PUSH)
cmake_policy(VERSION 3.21)

include(${CMAKE_CURRENT_LIST_DIR}/KestrinLortaneTargets.cmake)
# The functions may be called in any folder of the build, not only below the
# one that called find_package.
foreach(_kestrin_lortane_tool IN ITEMS kestrin lortane kestrin-preview kestrin-prepare)
  get_property(_kestrin_lortane_global
    TARGET KestrinLortane::${_kestrin_lortane_tool} PROPERTY IMPORTED_GLOBAL)
  if(NOT _kestrin_lortane_global)
    set_property(TARGET KestrinLortane::${_kestrin_lortane_tool} PROPERTY IMPORTED_GLOBAL TRUE)
  endif()
endforeach()
unset(_kestrin_lortane_tool)
unset(_kestrin_lortane_global)
include(${CMAKE_CURRENT_LIST_DIR}/KestrinLortaneFunctions.cmake)

cmake_policy(POP)
