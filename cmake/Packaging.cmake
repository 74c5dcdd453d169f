# cpack in the build folder makes a Debian package and a tarball of what
# cmake --install puts in place.

set(CPACK_PACKAGE_NAME kestrin-lortane)
set(CPACK_PACKAGE_VENDOR "Kestrin and Lortane developers")
set(CPACK_PACKAGE_CONTACT "Kestrin and Lortane developers <maintainers@example.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Build-time converters of BMP pictures and text files into C source")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB TGZ)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "kestrin turns an uncompressed 24-bit BMP picture into a C header holding the \
picture as an array of pixel-pair words; lortane turns a text file into a C array of \
string literals. With manual pages and a CMake package providing the functions \
kestrin_add_header and lortane_add_source.")

include(CPack)
