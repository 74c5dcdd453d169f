# Installs the programs, their manual pages, the documents, the licence and
# the CMake package that lets other projects call kestrin_add_header and
# lortane_add_source after find_package(KestrinLortane).

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(KL_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/KestrinLortane)
set(KL_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/kestrin-lortane)

# The machine the programs run on goes into the package, so that a cross
# build that finds them knows whether it can run them itself.
_kestrin_lortane_machine("${CMAKE_SYSTEM_NAME}" "${CMAKE_SYSTEM_PROCESSOR}" kl_built_for)
set_target_properties(kestrin lortane kestrin-preview kestrin-prepare PROPERTIES
  KESTRIN_LORTANE_BUILT_FOR "${kl_built_for}"
  EXPORT_PROPERTIES KESTRIN_LORTANE_BUILT_FOR)
install(TARGETS kestrin lortane kestrin-preview kestrin-prepare EXPORT KestrinLortaneTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The README and the documents it links to, in the same places relative to
# it, so that its links hold in the installed copy too.
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${KL_DOC_DIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs DESTINATION ${KL_DOC_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/bench/README.md DESTINATION ${KL_DOC_DIR}/bench)
if(WIN32)
  # Windows has no man program: the pages go along as text.
  foreach(page kestrin lortane kestrin-preview kestrin-prepare)
    add_custom_command(
      OUTPUT ${PROJECT_BINARY_DIR}/${page}.txt
      COMMAND ${CMAKE_COMMAND} -DPAGE=${PROJECT_SOURCE_DIR}/man/${page}.1
              -DOUTPUT=${PROJECT_BINARY_DIR}/${page}.txt -P ${PROJECT_SOURCE_DIR}/cmake/RenderManPage.cmake
      DEPENDS ${PROJECT_SOURCE_DIR}/man/${page}.1 ${PROJECT_SOURCE_DIR}/cmake/RenderManPage.cmake
      COMMENT "Rendering ${page}(1) as text"
      VERBATIM)
  endforeach()
  add_custom_target(kl_manual_text ALL
    DEPENDS ${PROJECT_BINARY_DIR}/kestrin.txt ${PROJECT_BINARY_DIR}/lortane.txt
            ${PROJECT_BINARY_DIR}/kestrin-preview.txt ${PROJECT_BINARY_DIR}/kestrin-prepare.txt)
  install(FILES ${PROJECT_BINARY_DIR}/kestrin.txt ${PROJECT_BINARY_DIR}/lortane.txt
                ${PROJECT_BINARY_DIR}/kestrin-preview.txt ${PROJECT_BINARY_DIR}/kestrin-prepare.txt
                ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/packaging/changelog
    DESTINATION ${KL_DOC_DIR})
else()
  install(FILES ${PROJECT_SOURCE_DIR}/man/kestrin.1 ${PROJECT_SOURCE_DIR}/man/lortane.1
                ${PROJECT_SOURCE_DIR}/man/kestrin-preview.1 ${PROJECT_SOURCE_DIR}/man/kestrin-prepare.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/packaging/changelog
    DESTINATION ${KL_DOC_DIR})
endif()

install(EXPORT KestrinLortaneTargets NAMESPACE KestrinLortane::
  DESTINATION ${KL_PACKAGE_DIR})
# The package holds host programs only, so a consumer of any word size (a
# 32-bit or cross build) may use it.
write_basic_package_version_file(
  ${PROJECT_BINARY_DIR}/KestrinLortaneVersionRules.cmake
  COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
install(FILES
  ${PROJECT_SOURCE_DIR}/cmake/KestrinLortaneConfig.cmake
  ${PROJECT_SOURCE_DIR}/cmake/KestrinLortaneConfigVersion.cmake
  ${PROJECT_BINARY_DIR}/KestrinLortaneVersionRules.cmake
  ${PROJECT_SOURCE_DIR}/cmake/KestrinLortaneFunctions.cmake
  ${PROJECT_SOURCE_DIR}/cmake/KestrinLortaneRunTool.cmake
  ${PROJECT_SOURCE_DIR}/cmake/KestrinLortaneDeclarations.cmake
  DESTINATION ${KL_PACKAGE_DIR})
