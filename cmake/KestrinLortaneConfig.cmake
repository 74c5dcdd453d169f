# find_package(KestrinLortane) gives the imported programs
# KestrinLortane::kestrin and KestrinLortane::lortane and the functions
# kestrin_add_header and lortane_add_source.

include(${CMAKE_CURRENT_LIST_DIR}/KestrinLortaneTargets.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/KestrinLortaneFunctions.cmake)
