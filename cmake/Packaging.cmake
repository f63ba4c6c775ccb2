# The Debian package kestu_<version>_amd64.deb, made by CPack's DEB generator
# from the install rules below (`make package` at the top of the checkout).
#
# CPack rather than a debian/ folder: the install rules live with the build
# that already knows every program and generated file, the package is made
# from the build folder a developer already has (no second build through
# debhelper), and dpkg-shlibdeps still computes the libraries' packages.

set(KESTU_PACKAGE_FILES ${CMAKE_BINARY_DIR}/package-files)
file(MAKE_DIRECTORY ${KESTU_PACKAGE_FILES})

# The manual pages (kestuctl's written from its command table), the bash
# completion, the changelog in Debian's form and the README, compressed as
# Debian wants them (gzip -9n: no name or time inside, so the same input
# gives the same bytes).
configure_file(${PROJECT_SOURCE_DIR}/packaging/kestu.1.in ${KESTU_PACKAGE_FILES}/kestu.1 @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/kestu-initdb.1.in ${KESTU_PACKAGE_FILES}/kestu-initdb.1 @ONLY)
find_program(GZIP_PROGRAM gzip REQUIRED)
set(KESTU_GZ_SCRIPT ${PROJECT_SOURCE_DIR}/cmake/gzip_file.cmake)
function(kestu_gzip input output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DGZIP=${GZIP_PROGRAM} -DINPUT=${input} -DOUTPUT=${output} -P ${KESTU_GZ_SCRIPT}
    DEPENDS ${input} ${KESTU_GZ_SCRIPT} VERBATIM)
endfunction()

add_custom_command(OUTPUT ${KESTU_PACKAGE_FILES}/kestuctl.1
  COMMAND kestuctl-docs man ${KESTU_PACKAGE_FILES}/kestuctl.1
  DEPENDS kestuctl-docs VERBATIM)
add_custom_command(OUTPUT ${KESTU_PACKAGE_FILES}/kestuctl.bash-completion
  COMMAND kestuctl-docs bash-completion ${KESTU_PACKAGE_FILES}/kestuctl.bash-completion
  DEPENDS kestuctl-docs VERBATIM)
add_custom_command(OUTPUT ${KESTU_PACKAGE_FILES}/changelog
  COMMAND ${CMAKE_COMMAND} -DINPUT=${PROJECT_SOURCE_DIR}/CHANGELOG.md -DOUTPUT=${KESTU_PACKAGE_FILES}/changelog
          "-DMAINTAINER=${KESTU_MAINTAINER}" -P ${PROJECT_SOURCE_DIR}/cmake/debian_changelog.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_SOURCE_DIR}/cmake/debian_changelog.cmake VERBATIM)
set(KESTU_GZIPPED)
foreach(pair
    "${KESTU_PACKAGE_FILES}/kestu.1"
    "${KESTU_PACKAGE_FILES}/kestu-initdb.1"
    "${KESTU_PACKAGE_FILES}/kestuctl.1"
    "${KESTU_PACKAGE_FILES}/changelog"
    "${PROJECT_SOURCE_DIR}/README.md")
  get_filename_component(name ${pair} NAME)
  kestu_gzip(${pair} ${KESTU_PACKAGE_FILES}/${name}.gz)
  list(APPEND KESTU_GZIPPED ${KESTU_PACKAGE_FILES}/${name}.gz)
endforeach()
# Built by `make package` only, never by `make run` or `make build`.
add_custom_target(kestu_package_files
  DEPENDS ${KESTU_GZIPPED} ${KESTU_PACKAGE_FILES}/kestuctl.bash-completion)

include(GNUInstallDirs)
install(TARGETS kestu kestuctl kestu-initdb RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/kestu.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/kestu.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${KESTU_PACKAGE_FILES}/kestu.1.gz ${KESTU_PACKAGE_FILES}/kestu-initdb.1.gz
              ${KESTU_PACKAGE_FILES}/kestuctl.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${KESTU_PACKAGE_FILES}/kestuctl.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME kestuctl)
install(FILES ${KESTU_PACKAGE_FILES}/README.md.gz ${KESTU_PACKAGE_FILES}/changelog.gz
              ${PROJECT_SOURCE_DIR}/packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kestu)

# The Qt plugins the programs load (both Sql drivers, the display's and the
# offscreen platform) are not linked, so dpkg-shlibdeps cannot see them: their
# packages are found from the plugin files of the Qt this build uses.
# Debian's Qt leaves its plugins' CMake files out of the modules' own, so each
# is asked for by name beside its module.
find_package(Qt6 REQUIRED COMPONENTS Gui Sql)
set(KESTU_PLUGIN_TARGETS)
foreach(pair Sql:QSQLiteDriverPlugin Sql:QPSQLDriverPlugin Gui:QXcbIntegrationPlugin Gui:QOffscreenIntegrationPlugin)
  string(REPLACE ":" ";" pair "${pair}")
  list(GET pair 0 module)
  list(GET pair 1 plugin)
  if(NOT TARGET Qt6::${plugin})
    find_package(Qt6${plugin} CONFIG QUIET PATHS ${Qt6${module}_DIR} NO_DEFAULT_PATH)
  endif()
  list(APPEND KESTU_PLUGIN_TARGETS Qt6::${plugin})
endforeach()
set(KESTU_PLUGIN_PACKAGES)
find_program(DPKG_QUERY_PROGRAM dpkg-query)
# A plugin that comes with a library the programs link (the display's, with
# libqt6gui6) is named by dpkg-shlibdeps already.
set(KESTU_LINKED_PACKAGES)
if(DPKG_QUERY_PROGRAM)
  foreach(library Qt6::Core Qt6::Gui Qt6::Widgets Qt6::Sql)
    get_target_property(file ${library} LOCATION)
    execute_process(COMMAND ${DPKG_QUERY_PROGRAM} -S ${file}
      OUTPUT_VARIABLE owner RESULT_VARIABLE failed ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT failed)
      string(REGEX REPLACE "[:,].*" "" owner "${owner}")
      list(APPEND KESTU_LINKED_PACKAGES ${owner})
    endif()
  endforeach()
endif()
foreach(plugin IN LISTS KESTU_PLUGIN_TARGETS)
  if(NOT TARGET ${plugin})
    message(FATAL_ERROR "packaging: the Qt plugin ${plugin} is not known to this Qt")
  endif()
  get_target_property(file ${plugin} LOCATION)
  if(NOT DPKG_QUERY_PROGRAM)
    continue()  # not a Debian system: no package can be made, nothing to compute
  endif()
  execute_process(COMMAND ${DPKG_QUERY_PROGRAM} -S ${file}
    OUTPUT_VARIABLE owner RESULT_VARIABLE failed ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(failed)
    message(WARNING "packaging: no Debian package holds ${file}; the package will not name it")
    continue()
  endif()
  string(REGEX REPLACE "[:,].*" "" owner "${owner}")
  if(owner IN_LIST KESTU_LINKED_PACKAGES)
    continue()
  endif()
  execute_process(COMMAND ${DPKG_QUERY_PROGRAM} -W -f=\${source:Upstream-Version} ${owner}
    OUTPUT_VARIABLE upstream OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  string(REGEX REPLACE "\\+.*" "" upstream "${upstream}")
  set(dependency "${owner} (>= ${upstream})")
  if(NOT dependency IN_LIST KESTU_PLUGIN_PACKAGES)
    list(APPEND KESTU_PLUGIN_PACKAGES "${dependency}")
  endif()
endforeach()
list(JOIN KESTU_PLUGIN_PACKAGES ", " KESTU_PLUGIN_DEPENDS)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestu)
set(CPACK_PACKAGE_VERSION ${KESTU_VERSION_TEXT})
set(CPACK_PACKAGE_VENDOR "the Kestu team")
set(CPACK_PACKAGE_CONTACT "${KESTU_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "decision-making experiments on a simulated water plant")
# CPack puts the summary first and indents these lines under it.
set(CPACK_PACKAGE_DESCRIPTION "Kestu records how participants run a simulated water plant (23 tanks,
46 switches, 5 pumps) against the clock: each trial's clicks, the buckets
of water that missed their deadlines and the pumps' shares of the time.

This package holds the participant's program kestu, the experimenter's
command-line tool kestuctl (replay, rescore, export, plots, reports, the
lab page) and kestu-initdb. A study lives in an SQLite file or on a lab's
PostgreSQL server.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${KESTU_PLUGIN_DEPENDS}")
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR})
include(CPack)
