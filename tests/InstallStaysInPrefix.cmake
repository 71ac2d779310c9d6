# Installs a build tree below a fresh prefix and fails when any file lands
# outside it, or when the files people look for are missing.
#   cmake -DBUILD_DIR=... -DPREFIX=... -P InstallStaysInPrefix.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "install failed: ${err}")
endif()
string(REGEX MATCHALL "-- (Installing|Up-to-date): [^\n]+" lines "${out}")
list(LENGTH lines count)
if(count EQUAL 0)
    message(FATAL_ERROR "nothing was installed:\n${out}")
endif()
foreach(line IN LISTS lines)
    string(REGEX REPLACE "^-- [A-Za-z-]+: " "" path "${line}")
    string(FIND "${path}" "${PREFIX}/" at)
    if(NOT at EQUAL 0)
        message(FATAL_ERROR "installed outside the prefix: ${path}")
    endif()
endforeach()
include(GNUInstallDirs)
foreach(expected etc/xdg/autostart/${TOOL_APP_ID}.desktop share/man/man1/lmgrab.1.gz
        share/applications/${EDITOR_APP_ID}.desktop
        ${CMAKE_INSTALL_LIBDIR}/lumagrabber/lmgrab-desktop.so
        share/doc/lumagrabber/copyright share/doc/lumagrabber/changelog.gz bin/lmgrab)
    if(NOT EXISTS ${PREFIX}/${expected})
        message(FATAL_ERROR "not installed: ${expected}")
    endif()
endforeach()
# KWin matches the entry's Exec, a full path, against the running program.
file(READ ${PREFIX}/share/applications/${TOOL_APP_ID}.desktop entry)
if(NOT entry MATCHES "\nExec=/[^\n]*/lmgrab /start\n" OR
   NOT entry MATCHES "\nX-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2\n")
    message(FATAL_ERROR "${TOOL_APP_ID}.desktop does not let KWin serve lmgrab:\n${entry}")
endif()
file(REMOVE_RECURSE ${PREFIX})
