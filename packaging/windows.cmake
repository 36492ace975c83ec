# Installation and the package on Windows (`cmake --install`, `cpack -G ZIP`):
# one folder that runs wherever it is unpacked.
#
#   bin/tovra-comm.exe, bin/tovra-cli.exe
#   bin/Qt6*.dll, bin/platforms/, bin/styles/, ...   put there by windeployqt
#   bin/ the compiler's runtime DLLs (MSVC or MinGW)
#   share/tovra-comm/gui/Tovra_COMM.ui              found as bin/../share/tovra-comm/gui
#   share/doc/tovra-comm/                           README and docs/
#
# No simulator (it serves a Linux pseudo-terminal), launcher or desktop entry.
install(TARGETS tovra-comm tovra-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/gui/Tovra_COMM.ui DESTINATION ${CMAKE_INSTALL_DATADIR}/tovra-comm/gui)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tovra-comm)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tovra-comm/docs)

# windeployqt copies the Qt DLLs and plugins (the platform, styles, the serial
# port) that the installed programs load, from the Qt that built them, and
# MinGW's runtime DLLs; InstallRequiredSystemLibraries copies MSVC's.
find_program(TOVRA_WINDEPLOYQT windeployqt HINTS "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS}" REQUIRED)
install(CODE "
  foreach(exe tovra-comm.exe tovra-cli.exe)
    execute_process(COMMAND \"${TOVRA_WINDEPLOYQT}\" --no-translations
                            \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${exe}\"
                    COMMAND_ERROR_IS_FATAL ANY)
  endforeach()")
set(CMAKE_INSTALL_SYSTEM_RUNTIME_DESTINATION ${CMAKE_INSTALL_BINDIR})
include(InstallRequiredSystemLibraries)

set(CPACK_GENERATOR ZIP)
# Named with the version of the build (packaging/version.cmake).
configure_file(cpack-version.cmake.in ${CMAKE_CURRENT_BINARY_DIR}/cpack-version.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_BINARY_DIR}/cpack-version.cmake)
set(CPACK_PACKAGE_NAME tovra-comm)
set(CPACK_PACKAGE_VENDOR "Tovra COMM")
include(CPack)
