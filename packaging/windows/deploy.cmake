# What the Windows program needs beside it to run on a machine without Qt: the Qt and MinGW
# runtime libraries, the two Qt plugins it loads (the platform and the native style), Qt's own
# translations for the standard dialogs' buttons, and a qt.conf that makes the program's folder
# Qt's prefix (Qt would otherwise look for its plugins and translations where it was built).
#
#   corvalto.exe, corvalto_audio.dll, suoni/*.wav       the game (packaging.cmake)
#   Qt6Core.dll, Qt6Gui.dll, Qt6Widgets.dll, qt.conf
#   libstdc++-6.dll, libgcc_s_seh-1.dll, libwinpthread-1.dll
#   plugins/platforms/qwindows.dll, plugins/styles/qwindowsvistastyle.dll
#   translations/qtbase_<language>.qm
#   corvalto.ico, COPYING.txt                          for the installer's shortcut and licence

set(corvalto_qt_prefix "${QT6_INSTALL_PREFIX}")
# Installed libraries to strip with the program (cmake --install --strip): MinGW's runtime
# carries its symbols, three times the size of the code.
set(corvalto_libraries plugins/platforms/qwindows.dll plugins/styles/qwindowsvistastyle.dll)
foreach(module Core Gui Widgets)
    install(FILES "${corvalto_qt_prefix}/bin/Qt6${module}.dll" DESTINATION .)
    list(APPEND corvalto_libraries Qt6${module}.dll)
endforeach()
install(FILES "${corvalto_qt_prefix}/plugins/platforms/qwindows.dll"
    DESTINATION plugins/platforms)
install(FILES "${corvalto_qt_prefix}/plugins/styles/qwindowsvistastyle.dll"
    DESTINATION plugins/styles)

# The compiler's own runtime, wherever this MinGW keeps it.
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
        OUTPUT_VARIABLE corvalto_dll OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${corvalto_dll}" OR NOT EXISTS "${corvalto_dll}")
        message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${dll} is")
    endif()
    install(FILES "${corvalto_dll}" DESTINATION .)
    list(APPEND corvalto_libraries ${dll})
endforeach()
install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
        foreach(library ${corvalto_libraries})
            execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded
                \"\${CMAKE_INSTALL_PREFIX}/\${library}\" COMMAND_ERROR_IS_FATAL ANY)
        endforeach()
    endif()")

# The translations are the same files on every platform: those of the host's Qt, which is the
# same version (the Windows Qt is built from its sources).
file(GLOB corvalto_qt_translations "${CORVALTO_QT_TRANSLATIONS}/qtbase_*.qm")
if(NOT corvalto_qt_translations)
    message(FATAL_ERROR "No qtbase_*.qm in CORVALTO_QT_TRANSLATIONS (${CORVALTO_QT_TRANSLATIONS}); "
        "Debian's qt6-translations-l10n has them")
endif()
install(FILES ${corvalto_qt_translations} DESTINATION translations)

file(WRITE "${corvalto_packaging_out}/qt.conf" "[Paths]\nPrefix = .\n")
install(FILES "${corvalto_packaging_out}/qt.conf" DESTINATION .)

install(FILES "${CORVALTO_ICO_FILE}" DESTINATION .)
install(FILES "${PROJECT_SOURCE_DIR}/COPYING" DESTINATION . RENAME COPYING.txt)
