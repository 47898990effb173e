# Installing and packaging tqupd, for people who install tools rather than build them:
#   cmake --install <build> --prefix P           the program, its manual page, its read-me
#   cmake --install <build> --prefix P --component tools
#                                                 the virtual switch and the image packer
#   cpack (in the build folder)                   a Debian package of a native build, a zip
#                                                 of a Windows build, in <build>/packages
# Test and fuzz programs are never installed. The program's version comes from project()
# in the top-level CMakeLists.txt; the banner (app/program_version.h.in) shows the same.

# The component that a plain "cmake --install" installs and the packages hold. Everything
# else is EXCLUDE_FROM_ALL, and the packages name this component alone, so that a rule
# added somewhere later does not slip into the .deb or the zip unnoticed.
set(TQUPD_PACKAGE_COMPONENT tqupd)

if(WIN32)
  # The zip: tqupd.exe and a plain-text read-me side by side, as a technician unpacks
  # them onto a laptop. Notepad and older Windows tools expect CR LF line ends.
  set(readme_windows ${PROJECT_BINARY_DIR}/doc/README.txt)
  configure_file(doc/README-windows.txt.in ${readme_windows} @ONLY NEWLINE_STYLE CRLF)
  install(TARGETS tqupd RUNTIME DESTINATION . COMPONENT ${TQUPD_PACKAGE_COMPONENT})
  install(FILES ${readme_windows} DESTINATION . COMPONENT ${TQUPD_PACKAGE_COMPONENT})
  set(tools_destination .)
else()
  include(GNUInstallDirs)
  install(TARGETS tqupd RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
          COMPONENT ${TQUPD_PACKAGE_COMPONENT})

  # The manual page (with the version filled in) and the changelog, compressed as Debian's
  # policy wants them. -n keeps the name and time stamp out of the .gz, so that the same
  # source always gives the same bytes. This happens when CMake configures (and again when
  # either source changes), so that "cmake --install" and cpack need nothing built but
  # the program.
  set(man_page ${PROJECT_BINARY_DIR}/doc/tqupd.1)
  set(changelog ${PROJECT_BINARY_DIR}/doc/changelog)
  configure_file(doc/tqupd.1.in ${man_page} @ONLY)
  configure_file(doc/changelog ${changelog} COPYONLY)
  execute_process(COMMAND gzip -9nkf ${man_page} ${changelog} COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${man_page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT ${TQUPD_PACKAGE_COMPONENT})

  # share/doc/tqupd: the read-me, and the copyright file and the changelog that every
  # Debian package's doc folder has.
  install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME README
          COMPONENT ${TQUPD_PACKAGE_COMPONENT})
  install(FILES doc/copyright ${changelog}.gz DESTINATION ${CMAKE_INSTALL_DOCDIR}
          COMPONENT ${TQUPD_PACKAGE_COMPONENT})
  set(tools_destination ${CMAKE_INSTALL_BINDIR})
endif()

# The tools, only on request. (vswitch exists only in native builds with TQUPD_TOOLS.)
foreach(tool vswitch imagepack)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION ${tools_destination}
            COMPONENT tools EXCLUDE_FROM_ALL)
  endif()
endforeach()

# ---- CPack ----
set(CPACK_PACKAGE_NAME tqupd)
set(CPACK_PACKAGE_VENDOR "Halvek Audio Systems")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware update utility for Halvek matrix switches")
# The extended description, in lines of at most 80 characters as Debian wants them.
# Which switches a build updates is decided by the firmware it carries (TQUPD_PRODUCT and
# the other TQUPD_* settings in tools/imagepack); the last lines say which that is.
set(description
    "tqupd updates the firmware of a Halvek matrix switch over the switch's serial"
    "(COM) port. It finds the switch on a serial port, identifies it, compares the"
    "firmware inside the switch with the firmware it carries, asks before it changes"
    "anything, and reprograms the switch's NXP LPC18xx/43xx microcontroller through"
    "the boot ROM's UART ISP protocol. A switch whose update was interrupted stays"
    "in its boot loader, where the next run finds it and updates it again.")
if(TQUPD_FIRMWARE)
  list(APPEND description "This build carries firmware ${TQUPD_VERSION} for the ${TQUPD_PRODUCT}.")
else()
  list(APPEND description
       "This build carries a synthetic payload with the figures of firmware ${TQUPD_VERSION}"
       "for the ${TQUPD_PRODUCT}, for the virtual switch and tests: never use it on a"
       "real switch.")
endif()
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION ${description})
set(CPACK_STRIP_FILES ON)

# Packages hold the default component only; the tools stay out.
set(CPACK_COMPONENTS_ALL ${TQUPD_PACKAGE_COMPONENT})
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}-windows-x64)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_PACKAGE_NAME tqupd)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Halvek Audio Systems <support@halvek.example>")
  # Depends: the shared libraries that dpkg-shlibdeps finds the program needs.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)

# ---- The package as a test ----
# Package.Build packs this build's package (a fixture) and Package.Check checks it as a
# user meets it (scripts/check-packages.sh), both with the label "package". Only a build
# that ships: sanitizer and fuzz builds make programs no one installs.
if(TQUPD_TESTS AND NOT TQUPD_SANITIZE AND NOT TQUPD_FUZZ)
  if(WIN32)
    set(package_kind zip)
  else()
    set(package_kind deb)
  endif()
  # The old packages go first, so that the one checked is the one just made.
  add_test(NAME Package.Build
           COMMAND sh -c "rm -rf \"$1\" && exec \"$2\" --config CPackConfig.cmake" -
                   ${CPACK_PACKAGE_DIRECTORY} ${CMAKE_CPACK_COMMAND}
           WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
  add_test(NAME Package.Check
           COMMAND sh ${PROJECT_SOURCE_DIR}/scripts/check-packages.sh ${package_kind}
                   ${PROJECT_BINARY_DIR})
  set_tests_properties(Package.Build PROPERTIES FIXTURES_SETUP package)
  set_tests_properties(Package.Check PROPERTIES FIXTURES_REQUIRED package SKIP_RETURN_CODE 77)
  set_tests_properties(Package.Build Package.Check PROPERTIES LABELS package TIMEOUT 300)
endif()
