# Installing and packaging: the executables into bin/, the program data into share/tellwick
# (data/, and skype-sim's D-Bus service file), the desktop integration (desktop/), and a
# Debian package made by CPack with its run-time dependencies.
include(GNUInstallDirs)
foreach(program tellwick tellwick-tool)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tellwick)
set(CPACK_PACKAGE_VENDOR "The Tellwick developers")
set(CPACK_PACKAGE_CONTACT "The Tellwick developers <tellwick@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "answering machine and call recorder for Skype")
set(CPACK_PACKAGE_DESCRIPTION
    "Tellwick answers the Skype calls nobody takes, plays a greeting and records a voice mail, "
    "records conversations, keeps every record with its description in an index, and e-mails "
    "new voice mails. Includes skype-sim, a substitute Skype client for trying it out.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # tellwick_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
# The shared libraries come from dpkg-shlibdeps; the programs and files it cannot see here,
# and OpenSSL, which the mail code opens only at its first encrypted connection.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "lame, media-types, libssl3")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "dbus-daemon, qt6-qpa-plugins, gstreamer1.0-plugins-base, gstreamer1.0-plugins-good")
include(CPack)
