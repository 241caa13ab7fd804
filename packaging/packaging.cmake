# The Debian package, made by CPack from this same build:
#
#   cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DQUELL_BUILD_TESTS=OFF
#   cmake --build build-release
#   (cd build-release && cpack -G DEB)
#
# gives build-release/quell-server_<version>_amd64.deb: /usr/bin/quell-server,
# /usr/bin/quell-sim, the systemd unit, the README and the sample working
# directory, with the maintainer scripts of packaging/debian/ (the station's
# user, its working directory, the service).

include_guard(GLOBAL)  # CPack is included once

# Bump for a package of the same source version (0.1-1, 0.1-2...).
set(QUELL_PACKAGE_RELEASE "1" CACHE STRING "Debian revision of the package")

set(quell_pkg_dir ${CMAKE_CURRENT_LIST_DIR})

if(QUELL_BUILD_APP)
  # Debian bookworm keeps units in /lib (merged /usr or not).
  install(FILES ${quell_pkg_dir}/quell-server.service DESTINATION /lib/systemd/system)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION share/doc/quell-server)
# Byte for byte: Windows-1251 text with CR LF, the empty Trace/ kept.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/workdir/
        DESTINATION share/doc/quell-server/examples/workdir
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
        DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                              WORLD_READ WORLD_EXECUTE)

# The alert rules and a scrape sample for station IT, outside /usr/share/doc
# (which minimal images drop); the Monitoring.ini sample beside the others.
install(FILES ${quell_pkg_dir}/prometheus/quell-alerts.yml ${quell_pkg_dir}/prometheus/prometheus-scrape.yml
        DESTINATION share/quell-server/prometheus)
install(FILES ${CMAKE_SOURCE_DIR}/examples/monitoring/Monitoring.ini
        DESTINATION share/doc/quell-server/examples/monitoring)

set(CPACK_PACKAGE_NAME quell-server)
set(CPACK_PACKAGE_VENDOR "Quell Server")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "alarm-receiving gateway for a security monitoring station")
set(CPACK_PACKAGE_DESCRIPTION
    "Quell Server collects alarm events from IP communicators (TCP, SIA DC-09 over UDP),\n"
    "GSM modems and serial receiver links and hands them to the station's console\n"
    "software as a hardware alarm receiver would. It runs as the systemd service\n"
    "quell-server in /var/lib/quell-server. quell-sim plays the field equipment.")
string(CONCAT CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGE_CONTACT "Quell Server maintainers <quell-server@localhost>")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # quell-server_0.1-1_amd64.deb
set(CPACK_DEBIAN_PACKAGE_RELEASE ${QUELL_PACKAGE_RELEASE})
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Libraries by dpkg-shlibdeps (Qt, libsystemd, libstdc++); the offscreen
# platform plugin comes with libqt6gui6. adduser for the postinst; aplay
# plays the line-down alarm when it is there.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "alsa-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${quell_pkg_dir}/debian/postinst ${quell_pkg_dir}/debian/prerm ${quell_pkg_dir}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
