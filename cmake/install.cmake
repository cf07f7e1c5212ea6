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
# One installed package serves every architecture, so the 32-bit x86 flags
# (CMakeLists.txt) are chosen when a program finds the package, for that
# program's compiler: kestovConfig.cmake includes kestovTargets.cmake, which
# loads the exported target and then adds them where they apply.
install(EXPORT kestovTargets NAMESPACE kestov:: FILE kestovExportedTargets.cmake DESTINATION ${KESTOV_PACKAGE_DIR})
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/kestovTargets.cmake @ONLY CONTENT [[
include("${CMAKE_CURRENT_LIST_DIR}/kestovExportedTargets.cmake")
# On 32-bit x86, SSE2 arithmetic: the x87 unit's would give other bits, and
# kestov/numeric.hpp refuses it. Added once, however often this is included.
get_property(kestov_options TARGET kestov::core PROPERTY INTERFACE_COMPILE_OPTIONS)
list(FIND kestov_options -mfpmath=sse kestov_sse)
if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND CMAKE_SYSTEM_PROCESSOR MATCHES "@KESTOV_X86_PROCESSORS@" AND kestov_sse EQUAL -1)
  set_property(TARGET kestov::core APPEND PROPERTY INTERFACE_COMPILE_OPTIONS @KESTOV_X86_32_FLAGS@)
endif()
unset(kestov_options)
unset(kestov_sse)
]])
install(FILES ${PROJECT_BINARY_DIR}/kestovTargets.cmake DESTINATION ${KESTOV_PACKAGE_DIR})

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
