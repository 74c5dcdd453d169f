# cpack in the build folder makes a Debian package and a tarball of what
# cmake --install puts in place; in the Windows build, a .zip of it that
# find_package(KestrinLortane) finds once unpacked.

set(CPACK_PACKAGE_NAME kestrin-lortane)
set(CPACK_PACKAGE_VENDOR "Kestrin and Lortane developers")
set(CPACK_PACKAGE_CONTACT "Kestrin and Lortane developers <maintainers@example.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Build-time converters of BMP pictures and text files into C source")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

# The changelog's newest entry names the version being packaged.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog kl_changelog_top LIMIT_COUNT 1)
if(NOT kl_changelog_top MATCHES "^kestrin-lortane \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR
    "packaging/changelog starts with '${kl_changelog_top}': add an entry for ${PROJECT_VERSION}")
endif()

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME windows-x64)
else()
  set(CPACK_GENERATOR DEB TGZ)

  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  # The programs are linked statically (kestrin-preview with zlib), so this
  # finds nothing and the package depends on nothing; it keeps the
  # dependencies right should that change. It needs dpkg-dev and file.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The summary above is the first line; this is the rest.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"kestrin turns an uncompressed 24-bit BMP picture into a C header holding the
picture as an array of pixel-pair words, with an optional colour key for
transparency; lortane turns a text file into a C source file holding one array
of string literals, one per line. Both are meant to run in a build, so their
output stays the same byte for byte from release to release. kestrin-prepare
makes a PNG or any BMP into the BMP kestrin reads, its transparency the key
colour, and kestrin-preview turns a header back into a PNG picture, as the
console decodes it; both tell the pixels near the key colour, and hold zlib,
linked statically.
.
The package has manual pages and a CMake package: find_package(KestrinLortane)
provides the functions kestrin_add_header and lortane_add_source.")
  # Debian's names and compression for the licence, the changelog and the
  # manual pages, and the lintian overrides, put in place after installation.
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/PackagingDebian.cmake)
  set(CPACK_KL_DOC_DIR ${KL_DOC_DIR})
  set(CPACK_KL_MAN_DIR ${CMAKE_INSTALL_MANDIR}/man1)
  set(CPACK_KL_LINTIAN_OVERRIDES ${PROJECT_SOURCE_DIR}/packaging/kestrin-lortane.lintian-overrides)
endif()

include(CPack)
