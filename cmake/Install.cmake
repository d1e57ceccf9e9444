# Installation: libraries with their soname links, public headers, programs,
# man pages, an example profile under the documentation directory (never into
# /etc), pkg-config files and a CMake package with imported targets.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QUORVIK_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quorvik)

foreach(library QuorvikSO quorvik)
  target_include_directories(${library} INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
endforeach()
# The monitoring API finds libQuorvikSO in the process at run time; a host that
# links it must therefore link libQuorvikSO too, even under --as-needed (the
# host names none of its symbols itself).
target_link_libraries(quorvik INTERFACE
  "-Wl,--push-state,--no-as-needed" QuorvikSO "-Wl,--pop-state")

install(TARGETS QuorvikSO quorvik EXPORT QuorvikTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev)
install(FILES libQuorvikSO/include/QuorvikSO.h libquorvik/include/quorvik.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
install(EXPORT QuorvikTargets NAMESPACE Quorvik:: DESTINATION ${QUORVIK_CMAKE_DIR} COMPONENT dev)

configure_package_config_file(cmake/templates/QuorvikConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/QuorvikConfig.cmake INSTALL_DESTINATION ${QUORVIK_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/QuorvikConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/QuorvikConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/QuorvikConfigVersion.cmake
  DESTINATION ${QUORVIK_CMAKE_DIR} COMPONENT dev)

# Relocatable pkg-config files: the prefix is found from the file's own place.
file(RELATIVE_PATH QUORVIK_PC_TO_PREFIX "/p/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/p")
foreach(pc QuorvikSO quorvik)
  configure_file(cmake/templates/${pc}.pc.in ${CMAKE_CURRENT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${pc}.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
endforeach()

install(TARGETS quorvik-info RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
if(TARGET zk_set_relay)
  install(TARGETS zk_set_relay RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
endif()
# Man pages go in compressed, as man-db and Debian's policy expect them
# (-n: no name or time stamp, so the packages build the same twice).
set(QUORVIK_MAN_PAGES)
foreach(page quorvik-info.1 zk_set_relay.1)
  set(compressed ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.gz)
  add_custom_command(OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/docs/man/${page} > ${compressed}
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/${page} VERBATIM)
  list(APPEND QUORVIK_MAN_PAGES ${compressed})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${QUORVIK_MAN_PAGES})
install(FILES ${QUORVIK_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
install(FILES docs/DeviceProfile.example.ini
  DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT tools)

# Debian packages: cpack -G DEB in the build tree (scripts/package.sh).
set(CPACK_PACKAGE_NAME quorvik)
set(CPACK_PACKAGE_VENDOR "Quorvik")
set(CPACK_PACKAGE_CONTACT "Quorvik maintainers <maintainers@quorvik.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Monitoring and control libraries for Quorvik boards")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev tools)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The tools link our own libraries, which live in the runtime package.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
  ${PROJECT_BINARY_DIR}/libQuorvikSO ${PROJECT_BINARY_DIR}/libquorvik)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libquorvik1)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libquorvik-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libquorvik1 (= ${PROJECT_VERSION}), libiniparser-dev")
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME quorvik-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "libquorvik1 (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION admin)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "Quorvik libraries: hardware access and monitoring API")
set(CPACK_COMPONENT_DEV_DESCRIPTION "Quorvik development files: headers, pkg-config, CMake package")
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "Quorvik tools: quorvik-info and zk_set_relay")
include(CPack)
