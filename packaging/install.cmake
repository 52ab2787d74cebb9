# What `cmake --install` puts where, and the packages CPack builds from it:
# a Debian package on Linux (cpack -G DEB), a zip from the mingw build
# (cpack -G ZIP). Included by the top CMakeLists.txt.
include(GNUInstallDirs)

set(CPACK_PACKAGE_NAME quenmar-setup)
# Who answers for the packages: the one place that names them (the .deb's
# Maintainer, its changelog and copyright).
set(QUENMAR_MAINTAINER "Quenmar Setup Developers <quenmar-setup@users.noreply.invalid>")
set(CPACK_PACKAGE_VENDOR "Quenmar Setup Developers")
set(CPACK_PACKAGE_CONTACT "${QUENMAR_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUENMAR_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "memory channels and clock of a Quenmar HF transceiver")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  # One folder named with the version: the program and its notes side by
  # side, the notes as text files with the CR LF line ends Windows expects.
  # The README is the plain-text one written for Windows users.
  install(TARGETS quenmar-setup RUNTIME DESTINATION .)
  configure_file(packaging/README-windows.txt README.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(LICENSE LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${PROJECT_BINARY_DIR}/README.txt ${PROJECT_BINARY_DIR}/LICENSE.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
  include(CPack)
  return()
endif()

install(TARGETS quenmar-setup quenmar-radio-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Built as the .deb is, the programs carry no compilers' notes (.comment),
# as Debian's own strip leaves none.
if(QUENMAR_DEBIAN_FLAGS)
  foreach(program quenmar-setup quenmar-radio-sim)
    add_custom_command(TARGET ${program} POST_BUILD
                       COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment $<TARGET_FILE:${program}>)
  endforeach()
endif()
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The package's copyright file holds the licence; a plain install gets it as
# LICENSE.
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT license)

# The manual pages get the version from here, and are installed compressed
# as every other page is (gzip -n: no time stamp, the same bytes each build).
set(manual_pages)
# The virtual radio's page lives beside its code.
foreach(source man/quenmar-setup.1 radio-sim/quenmar-radio-sim.1)
  get_filename_component(page ${source} NAME)
  # The pages in the checkout name no version, so that `man ./man/...` reads
  # well; the built ones name this one in their header line.
  file(READ ${source} text)
  string(REPLACE "\"quenmar-setup\" \"User Commands\"" "\"quenmar-setup ${PROJECT_VERSION}\" \"User Commands\""
                 text "${text}")
  file(CONFIGURE OUTPUT man/${page} CONTENT "${text}" @ONLY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${source})
  add_custom_command(OUTPUT man/${page}.gz
                     COMMAND gzip -9nc ${page} > ${page}.gz
                     DEPENDS ${PROJECT_BINARY_DIR}/man/${page}
                     WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/man)
  list(APPEND manual_pages ${PROJECT_BINARY_DIR}/man/${page}.gz)
endforeach()
add_custom_target(manual-pages ALL DEPENDS ${manual_pages})
install(FILES ${manual_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# A Debian package also carries its copyright and changelog in the doc
# folder; they go into the package only, not into a plain install.
file(READ LICENSE license_text)
string(REGEX REPLACE "\n$" "" license_text "${license_text}")
string(REGEX REPLACE "\n\n" "\n.\n" license_text "${license_text}")
string(REGEX REPLACE "\n" "\n " license_text "${license_text}")
configure_file(packaging/copyright.in debian/copyright @ONLY)
configure_file(packaging/changelog.in debian/changelog @ONLY)
add_custom_command(OUTPUT debian/changelog.gz
                   COMMAND gzip -9nc changelog > changelog.gz
                   DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog
                   WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/debian)
add_custom_target(debian-changelog ALL DEPENDS debian/changelog.gz)
install(FILES ${PROJECT_BINARY_DIR}/debian/copyright ${PROJECT_BINARY_DIR}/debian/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT debian EXCLUDE_FROM_ALL)
set(CPACK_INSTALL_CMAKE_PROJECTS
    "${PROJECT_BINARY_DIR};${PROJECT_NAME};Unspecified;/;${PROJECT_BINARY_DIR};${PROJECT_NAME};debian;/")

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The first line of the control file's Description is the summary above.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "quenmar-setup saves the 62 memory channels of a Quenmar HF transceiver into
a text file, loads such a file (saved, or edited by hand) back into the
radio, checks it before a load, compares it with the radio afterwards, and
sets the radio's clock, over a serial line at 1200 bit/s. It runs as a
menu in a text console or as one command for scripts and cron, and
converts channel lists to and from CHIRP's CSV layout.
.
A virtual radio (quenmar-radio-sim) is included to try it without one.")
include(CPack)
