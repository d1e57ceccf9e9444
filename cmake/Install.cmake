# Installation: libraries with their soname links, public headers, programs,
# man pages, an example profile under the documentation directory (never into
# /etc), pkg-config files and a CMake package with imported targets.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QUORVIK_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quorvik)

# The version macros of the public headers are what hosts compile against:
# they must be the version the libraries are built as.
foreach(header_macro "libquorvik/include/quorvik.h;QUORVIK_VERSION"
                     "libQuorvikSO/include/QuorvikSO.h;QUORVIK_SO_VERSION")
  list(GET header_macro 0 header)
  list(GET header_macro 1 macro)
  file(READ ${PROJECT_SOURCE_DIR}/${header} text)
  set(header_version)
  foreach(part MAJOR MINOR PATCH)
    string(REGEX MATCH "#define ${macro}_${part} ([0-9]+)" found "${text}")
    list(APPEND header_version "${CMAKE_MATCH_1}")
  endforeach()
  list(JOIN header_version . header_version)
  if(NOT header_version STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "${header} says version ${header_version}, the project ${PROJECT_VERSION}")
  endif()
endforeach()

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

# pkg-config files: relocatable by default (the prefix is found from the
# file's own place); a system package wants plain paths that pkg-config knows
# as the system's and leaves out (debian/rules turns this off).
option(QUORVIK_PKGCONFIG_RELOCATABLE "pkg-config files find the prefix from their own place" ON)
if(QUORVIK_PKGCONFIG_RELOCATABLE)
  file(RELATIVE_PATH QUORVIK_PC_TO_PREFIX "/p/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/p")
  set(QUORVIK_PC_PREFIX "\${pcfiledir}/${QUORVIK_PC_TO_PREFIX}")
else()
  set(QUORVIK_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
endif()
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
set(QUORVIK_MAN3_PAGES)
file(GLOB QUORVIK_MAN3_SOURCES RELATIVE ${PROJECT_SOURCE_DIR}/docs/man
  CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/*.3)
foreach(page quorvik-info.1 zk_set_relay.1 quorvik-sim.1 ${QUORVIK_MAN3_SOURCES})
  set(compressed ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.gz)
  add_custom_command(OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/docs/man/${page} > ${compressed}
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/${page} VERBATIM)
  if(page MATCHES "[.]3$")
    list(APPEND QUORVIK_MAN3_PAGES ${compressed})
  elseif(page STREQUAL "quorvik-sim.1")
    set(QUORVIK_SIM_MAN_PAGE ${compressed})
  else()
    list(APPEND QUORVIK_MAN_PAGES ${compressed})
  endif()
endforeach()
add_custom_target(man_pages ALL DEPENDS ${QUORVIK_MAN_PAGES} ${QUORVIK_MAN3_PAGES}
  ${QUORVIK_SIM_MAN_PAGE})
install(FILES ${QUORVIK_SIM_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT sim)
install(FILES ${QUORVIK_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
install(FILES ${QUORVIK_MAN3_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man3 COMPONENT dev)
# Each function's name is a page too (man get_cpu_usage): a link to the
# page of its group. The groups' pages list their functions in NAME.
file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/man)
foreach(source ${QUORVIK_MAN3_SOURCES})
  file(STRINGS ${PROJECT_SOURCE_DIR}/docs/man/${source} name_line REGEX "^[a-zA-Z_0-9, ]+ \\\\- ")
  string(REGEX REPLACE " \\\\- .*" "" names "${name_line}")
  string(REPLACE "," ";" names "${names}")
  foreach(name ${names})
    string(STRIP "${name}" name)
    if(NOT name STREQUAL "" AND NOT "${name}.3" STREQUAL source)
      file(CREATE_LINK ${source}.gz ${CMAKE_CURRENT_BINARY_DIR}/man/${name}.3.gz SYMBOLIC)
      install(FILES ${CMAKE_CURRENT_BINARY_DIR}/man/${name}.3.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man3 COMPONENT dev)
    endif()
  endforeach()
endforeach()
install(FILES docs/DeviceProfile.example.ini
  DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT tools)
# A host program to start from, built the two ways a host links the libraries.
install(FILES examples/host/host.c examples/host/CMakeLists.txt examples/host/Makefile
  DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples COMPONENT dev)
# The monitoring mixin: its rendered alert rules and dashboard for Prometheus
# and Grafana, and its jsonnet sources for fleets that render their own
# settings (share/quorvik/monitoring, /usr/share in the package).
set(QUORVIK_MONITORING_DIR ${CMAKE_INSTALL_DATADIR}/quorvik/monitoring)
install(FILES monitoring/quorvik_alerts.yaml monitoring/dashboards_out/quorvik-board.json
  DESTINATION ${QUORVIK_MONITORING_DIR} COMPONENT monitoring)
install(DIRECTORY monitoring/ DESTINATION ${QUORVIK_MONITORING_DIR}/mixin COMPONENT monitoring
  FILES_MATCHING PATTERN "*.libsonnet" PATTERN "*.jsonnet" PATTERN "Makefile"
  PATTERN dashboards_out EXCLUDE)
