# Installation on Linux and the Debian package: the two programs, the XDG
# autostart entry, the application icon in the icon theme, man pages and the
# package's documents. `cmake --install` and `cpack --preset default` (or
# scripts/package) use the same rules; the package installs under /usr.
include(GNUInstallDirs)

set(QARX_AUTOSTART_DIR "/etc/xdg/autostart" CACHE PATH
    "Folder of the autostart entry (desktops read /etc/xdg/autostart, whatever the prefix)")
set(QARX_PACKAGE_MAINTAINER "Qarx Service maintainers <qarx-service@veltrane.example>" CACHE STRING
    "Maintainer of the Debian package, as 'Name <address>'")

set(_qarx_pkg_src ${CMAKE_SOURCE_DIR}/packaging/linux)
set(_qarx_pkg_out ${CMAKE_BINARY_DIR}/packaging)
set(_qarx_docdir ${CMAKE_INSTALL_DATADIR}/doc/qarx-service)
set(QARX_VERSION ${PROJECT_VERSION})
# Installing and packaging take what was built and build nothing more, so
# scripts/package builds only the installed targets, not every test.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)
# Folders the install creates are 0755 whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS qarx-service qarx-mutex RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${_qarx_pkg_src}/qarx-service.desktop DESTINATION ${QARX_AUTOSTART_DIR})
install(FILES ${_qarx_pkg_src}/copyright DESTINATION ${_qarx_docdir})

# Man pages and the changelog carry the version and are installed compressed.
set(_qarx_compressed)
foreach(file qarx-service.8 qarx-mutex.1 changelog)
  set(_source ${_qarx_pkg_src}/${file})
  if(NOT EXISTS ${_source})
    set(_source ${_source}.in)
  endif()
  configure_file(${_source} ${_qarx_pkg_out}/${file} @ONLY)
  add_custom_command(OUTPUT ${_qarx_pkg_out}/${file}.gz
                     COMMAND gzip -9 -n -k -f ${_qarx_pkg_out}/${file}
                     DEPENDS ${_qarx_pkg_out}/${file} VERBATIM)
  list(APPEND _qarx_compressed ${_qarx_pkg_out}/${file}.gz)
endforeach()
install(FILES ${_qarx_pkg_out}/qarx-service.8.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man8)
install(FILES ${_qarx_pkg_out}/qarx-mutex.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${_qarx_pkg_out}/changelog.gz DESTINATION ${_qarx_docdir})

# The icon theme's PNGs, drawn by the Qt front-end's own icon code at build
# time, so the installed icon and the running program's icon never differ.
if(TARGET qarx_ui_qt)
  find_package(Qt6 REQUIRED COMPONENTS Gui)
  add_executable(qarx-render-icon ${_qarx_pkg_src}/render_icon.cpp ${CMAKE_SOURCE_DIR}/src/ui/qt/app_icon.cpp)
  target_include_directories(qarx-render-icon PRIVATE ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(qarx-render-icon PRIVATE Qt6::Gui)
  # A build tool: warnings as everywhere, but no sanitizer runtime in the build.
  target_compile_options(qarx-render-icon PRIVATE -Wall -Wextra -Wpedantic -Werror)
  set_target_properties(qarx-render-icon PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${_qarx_pkg_out})
  add_custom_command(OUTPUT ${_qarx_pkg_out}/icons.stamp
                     COMMAND ${CMAKE_COMMAND} -E rm -rf ${_qarx_pkg_out}/icons
                     COMMAND qarx-render-icon ${_qarx_pkg_out}/icons
                     COMMAND ${CMAKE_COMMAND} -E touch ${_qarx_pkg_out}/icons.stamp
                     DEPENDS qarx-render-icon VERBATIM)
  list(APPEND _qarx_compressed ${_qarx_pkg_out}/icons.stamp)
  install(DIRECTORY ${_qarx_pkg_out}/icons/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
endif()
add_custom_target(qarx_packaging_files ALL DEPENDS ${_qarx_compressed})

# The Debian package. Dependencies on the shared libraries (libcurl4,
# libpcsclite1, libssl3, Qt 6 Widgets, ...) come from dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qarx-service)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Qarx Service developers")
set(CPACK_PACKAGE_CONTACT ${QARX_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keeps a PC ready for the Veltrane IC-card internet terminal")
set(CPACK_PACKAGE_DESCRIPTION
    "A background service, started hidden in every desktop session, that checks\n"
    "the PC's components against the update server's configuration and offers to\n"
    "download and install what is missing or outdated (only packages matching the\n"
    "digest the server vouches for), and that checks the firmware of every\n"
    "Veltrane card terminal plugged in.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pcscd, xdg-utils")
# Every file under /etc is a configuration file of the package.
file(WRITE ${_qarx_pkg_out}/conffiles "${QARX_AUTOSTART_DIR}/qarx-service.desktop\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${_qarx_pkg_out}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
