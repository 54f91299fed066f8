# Installing morvik-update (cmake --install) and its Debian package (cpack --preset release).
#   bin/morvik-update
#   lib/udev/rules.d/60-morvik-gamepad.rules
#   share/man/man1/morvik-update.1.gz
#   share/bash-completion/completions/morvik-update
#   share/doc/morvik-update/{changelog.gz,copyright}

install(TARGETS morvik-update RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/60-morvik-gamepad.rules DESTINATION ${MORVIK_UDEV_RULES_DIR})
install(FILES packaging/morvik-update.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME morvik-update)

# Compressed once at build time; -n keeps the timestamp and name out, so builds are identical.
find_program(MORVIK_GZIP gzip REQUIRED)
set(man_page ${CMAKE_CURRENT_BINARY_DIR}/morvik-update.1.gz)
add_custom_command(OUTPUT ${man_page}
  COMMAND ${MORVIK_GZIP} -9n -c ${CMAKE_CURRENT_SOURCE_DIR}/packaging/morvik-update.1 > ${man_page}
  DEPENDS packaging/morvik-update.1
  VERBATIM)
add_custom_target(morvik-update-man ALL DEPENDS ${man_page})
install(FILES ${man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Debian's changelog, as lintian wants one in every package.
string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(MORVIK_PACKAGE_MAINTAINER "Morvik updater team <updater@morvik.invalid>" CACHE STRING
    "Maintainer named in the Debian package")
set(changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog)
file(WRITE ${changelog}
  "morvik-update (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
  "  * Built from the morvik-update sources.\n\n"
  " -- ${MORVIK_PACKAGE_MAINTAINER}  ${changelog_date}\n")
add_custom_command(OUTPUT ${changelog}.gz
  COMMAND ${MORVIK_GZIP} -9n -c ${changelog} > ${changelog}.gz
  DEPENDS ${changelog}
  VERBATIM)
add_custom_target(morvik-update-changelog ALL DEPENDS ${changelog}.gz)
install(FILES ${changelog}.gz packaging/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/morvik-update)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME morvik-update)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${MORVIK_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${MORVIK_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware updater for the Morvik USB gamepad")
# CPack puts the summary first and indents these lines itself.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "morvik-update updates the firmware of a Morvik gamepad (Zelto, Pravik and
their Pro models) connected by USB in its boot mode. It shows the pad's
firmware version and the image's, asks before it writes, and streams the
image while it shows the progress. A udev rule lets the user at the seat
open the pad; a simulated pad allows trying an update without hardware.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Dependencies from the program's shared libraries (libhidapi-hidraw0, libssl3 for libcrypto,
# libstdc++6, libc6...).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Written into the top build folder, where cpack and the package target look for it.
include(CPack)
