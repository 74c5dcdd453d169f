# Run by cpack between installing into its staging folder and packing it:
# gives the Debian package Debian's layout. The licence becomes
# share/doc/<package>/copyright, the changelog and the manual pages are
# compressed without names or times (so packages are reproducible), and the
# lintian overrides join them. Other packages keep the installed files as
# they are.

if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(doc "${root}/${CPACK_KL_DOC_DIR}")
find_program(GZIP_PROGRAM gzip REQUIRED)

file(RENAME "${doc}/LICENSE" "${doc}/copyright")
file(GLOB pages "${root}/${CPACK_KL_MAN_DIR}/*.1")
foreach(file IN LISTS pages ITEMS "${doc}/changelog")
  execute_process(COMMAND "${GZIP_PROGRAM}" -9n "${file}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${file} failed: ${status}")
  endif()
endforeach()
configure_file("${CPACK_KL_LINTIAN_OVERRIDES}"
  "${root}/share/lintian/overrides/${CPACK_PACKAGE_NAME}" COPYONLY)
