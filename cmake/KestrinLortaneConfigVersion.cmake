# The version check of find_package(KestrinLortane), kept to its own policies
# whatever the caller has set: the rules CMake wrote end early with return(),
# so they are included from here rather than wrapped in place.
cmake_policy(PUSH)
cmake_policy(VERSION 3.21)
include("${CMAKE_CURRENT_LIST_DIR}/KestrinLortaneVersionRules.cmake")
cmake_policy(POP)
