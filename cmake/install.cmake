# Installs the core as a CMake package: the headers, and an imported target
# kestov::core that find_package(kestov CONFIG) provides. The target carries
# the exact-arithmetic flags, so programs built against the installed headers
# compute the same bits as the Python module.

include(CMakePackageConfigHelpers)
include(GNUInstallDirs)

set(KESTOV_PACKAGE_DIR ${CMAKE_INSTALL_DATADIR}/cmake/kestov)

set_target_properties(kestov_core PROPERTIES EXPORT_NAME core)
install(TARGETS kestov_core EXPORT kestovTargets)
# Must match the INSTALL_INTERFACE include directory of kestov_core.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/core/include/kestov DESTINATION include
        FILES_MATCHING PATTERN "*.hpp")
install(EXPORT kestovTargets NAMESPACE kestov:: DESTINATION ${KESTOV_PACKAGE_DIR})

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/kestovConfig.cmake.in
  ${PROJECT_BINARY_DIR}/kestovConfig.cmake
  INSTALL_DESTINATION ${KESTOV_PACKAGE_DIR})
# Header-only: one package serves every architecture. Before 1.0 a minor
# release may break the interface, so only patch releases are compatible.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kestovConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMinorVersion
  ARCH_INDEPENDENT)
install(FILES ${PROJECT_BINARY_DIR}/kestovConfig.cmake ${PROJECT_BINARY_DIR}/kestovConfigVersion.cmake
        DESTINATION ${KESTOV_PACKAGE_DIR})
