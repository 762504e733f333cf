# Installation layout and the Debian package (CPack's DEB generator).
#
# On Linux the program and its suoni/ folder sit together in a private program folder,
# because the game finds its sounds beside the real program (applicationDirPath resolves
# the link in games/). lib/corvalto rather than the multiarch libdir: Debian policy lets a
# package keep architecture-dependent and -independent files together in one folder under
# /usr/lib, and a fixed path keeps the relative link the same on every architecture.
#
#   <prefix>/lib/corvalto/corvalto            the program
#   <prefix>/lib/corvalto/corvalto-record     the record's store (setgid games once set up)
#   <prefix>/lib/corvalto/suoni/*.wav         its sounds
#   <prefix>/games/corvalto                   -> ../lib/corvalto/corvalto
#   <prefix>/share/applications/corvalto.desktop
#   <prefix>/share/metainfo/example.corvalto.corvalto.metainfo.xml
#   <prefix>/share/icons/hicolor/<n>x<n>/apps/corvalto.png
#   <prefix>/share/man/man6/corvalto.6.gz, share/man/it/man6/corvalto.6.gz
#   <prefix>/share/man/man6/corvalto-record.6.gz
#   <prefix>/share/doc/corvalto/copyright, changelog.gz
#   <prefix>/share/lintian/overrides/corvalto

set(corvalto_packaging_dir ${CMAKE_CURRENT_LIST_DIR})
set(corvalto_packaging_out ${PROJECT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${corvalto_packaging_out})

# Where the build writes the sounds and the icon theme's pictures: a variable or a global
# property of the tools that make them, else the folders they are known to use.
foreach(what SOUNDS ICONS)
    if(NOT DEFINED CORVALTO_${what}_DIR)
        get_property(CORVALTO_${what}_DIR GLOBAL PROPERTY CORVALTO_${what}_DIR)
    endif()
endforeach()
if(CORVALTO_SOUNDS_DIR)
    set(corvalto_sounds_dir ${CORVALTO_SOUNDS_DIR})
else()
    set(corvalto_sounds_dir ${PROJECT_BINARY_DIR}/app/suoni)
endif()
if(CORVALTO_ICONS_DIR)
    set(corvalto_icons_dir ${CORVALTO_ICONS_DIR})
else()
    set(corvalto_icons_dir ${PROJECT_BINARY_DIR}/icons)
endif()
set(corvalto_sound_files sparo.wav esplosi.wav laser.wav)

if(WIN32)
    # Windows keeps the same shape: the program with suoni/ beside it.
    if(TARGET corvalto)
        install(TARGETS corvalto RUNTIME DESTINATION .)
        install(TARGETS corvalto_audio LIBRARY DESTINATION .)
    endif()
    if(TARGET corvalto_sounds)
        list(TRANSFORM corvalto_sound_files PREPEND ${corvalto_sounds_dir}/
             OUTPUT_VARIABLE corvalto_sound_paths)
        install(FILES ${corvalto_sound_paths} DESTINATION suoni)
    endif()
    include(${corvalto_packaging_dir}/windows/deploy.cmake)
    return()
endif()
if(APPLE OR NOT UNIX)
    return()
endif()

set(corvalto_program_dir lib/corvalto)
set(corvalto_games_dir games)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(NOT IS_ABSOLUTE "${CORVALTO_RECORD_DIR}" OR "${CORVALTO_RECORD_DIR}" MATCHES "^/+$")
    # The maintainer scripts create and purge this folder: it must be a real, absolute one.
    message(FATAL_ERROR "CORVALTO_RECORD_DIR must be an absolute folder other than /")
endif()

# --- The program, its sounds and the link ------------------------------------------------
if(TARGET corvalto)
    # Qt comes from the system's library folders: the installed program needs no run path.
    set_property(TARGET corvalto PROPERTY INSTALL_RPATH "")
    install(TARGETS corvalto RUNTIME DESTINATION ${corvalto_program_dir})
    # The audio output module, which the program loads from its own folder.
    set_property(TARGET corvalto_audio PROPERTY INSTALL_RPATH "")
    install(TARGETS corvalto_audio LIBRARY DESTINATION ${corvalto_program_dir}
            PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    # The store, where the game runs it from. Installed as an ordinary program: the games group
    # and the setgid bit come from the record set-up (cmake --install as root) or from
    # build-deb.sh, never from a staged install that a normal user makes.
    set_property(TARGET corvalto-record PROPERTY INSTALL_RPATH "")
    install(TARGETS corvalto-record RUNTIME DESTINATION ${corvalto_program_dir})
    # A stripped install (CPack, cmake --install --strip) also drops the compilers' .comment
    # notes, as Debian's own packaging does.
    if(CMAKE_OBJCOPY)
        install(CODE "if(CMAKE_INSTALL_DO_STRIP)
    foreach(binary corvalto corvalto-record corvalto_audio.so)
        execute_process(COMMAND [[${CMAKE_OBJCOPY}]] --remove-section=.comment --remove-section=.note
            \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${corvalto_program_dir}/\${binary}\"
            COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
endif()")
    endif()
else()
    message(STATUS "packaging: no corvalto target yet; the program is not installed")
endif()
if(TARGET corvalto_sounds)
    list(TRANSFORM corvalto_sound_files PREPEND ${corvalto_sounds_dir}/
         OUTPUT_VARIABLE corvalto_sound_paths)
    install(FILES ${corvalto_sound_paths} DESTINATION ${corvalto_program_dir}/suoni)
else()
    message(STATUS "packaging: no corvalto_sounds target yet; the sounds are not installed")
endif()

file(RELATIVE_PATH corvalto_link_target /p/${corvalto_games_dir} /p/${corvalto_program_dir}/corvalto)
file(MAKE_DIRECTORY ${corvalto_packaging_out}/games)
file(CREATE_LINK ${corvalto_link_target} ${corvalto_packaging_out}/games/corvalto SYMBOLIC)
# install(FILES) copies a link as a link.
install(FILES ${corvalto_packaging_out}/games/corvalto DESTINATION ${corvalto_games_dir})

# --- Desktop integration -----------------------------------------------------------------
install(FILES ${corvalto_packaging_dir}/corvalto.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${corvalto_packaging_dir}/example.corvalto.corvalto.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
if(TARGET corvalto_icons)
    foreach(size 32 48 64 128 256)
        install(FILES ${corvalto_icons_dir}/hicolor/${size}x${size}/apps/corvalto.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
else()
    message(STATUS "packaging: no corvalto_icons target yet; the icons are not installed")
endif()

# --- Manual pages and documentation, compressed as Debian wants (gzip -9n: no name, no time)
find_program(CORVALTO_GZIP gzip REQUIRED)
set(corvalto_gzipped)
function(corvalto_gzip source output)
    get_filename_component(dir ${output} DIRECTORY)
    string(REGEX REPLACE "\\.gz$" "" plain ${output})
    add_custom_command(OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
        COMMAND ${CMAKE_COMMAND} -E copy ${source} ${plain}
        COMMAND ${CORVALTO_GZIP} -9nf ${plain}
        DEPENDS ${source}
        VERBATIM)
    set(corvalto_gzipped ${corvalto_gzipped} ${output} PARENT_SCOPE)
endfunction()
# The pages name the record folder and program folder this build uses.
configure_file(${corvalto_packaging_dir}/corvalto.6.in ${corvalto_packaging_out}/corvalto.6 @ONLY)
configure_file(${corvalto_packaging_dir}/corvalto.it.6.in ${corvalto_packaging_out}/corvalto.it.6 @ONLY)
configure_file(${corvalto_packaging_dir}/corvalto-record.6.in ${corvalto_packaging_out}/corvalto-record.6
    @ONLY)
corvalto_gzip(${corvalto_packaging_out}/corvalto.6 ${corvalto_packaging_out}/man/corvalto.6.gz)
corvalto_gzip(${corvalto_packaging_out}/corvalto.it.6 ${corvalto_packaging_out}/man-it/corvalto.6.gz)
corvalto_gzip(${corvalto_packaging_out}/corvalto-record.6
    ${corvalto_packaging_out}/man/corvalto-record.6.gz)
corvalto_gzip(${corvalto_packaging_dir}/changelog ${corvalto_packaging_out}/doc/changelog.gz)
add_custom_target(corvalto_docs ALL DEPENDS ${corvalto_gzipped})

install(FILES ${corvalto_packaging_out}/man/corvalto.6.gz ${corvalto_packaging_out}/man/corvalto-record.6.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES ${corvalto_packaging_out}/man-it/corvalto.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/it/man6)
install(FILES ${corvalto_packaging_dir}/copyright ${corvalto_packaging_out}/doc/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/corvalto)
# lintian's note on the setgid store says why it is setgid.
install(FILES ${corvalto_packaging_dir}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME corvalto)

# --- The shared record folder ------------------------------------------------------------
# root:games, 2775, written only by the setgid store. The package's postinst creates it (or
# locks down an older, world-writable one); cmake --install run as root uses the same script,
# then makes the installed store setgid games. A staged install (DESTDIR, as CPack and
# packagers do) never touches the real machine.
install(CODE "set(CORVALTO_RECORD_DIR [[${CORVALTO_RECORD_DIR}]])
set(CORVALTO_RECORD_SETUP [[${corvalto_packaging_out}/deb/postinst]])
set(CORVALTO_BUILD_DIR [[${PROJECT_BINARY_DIR}]])
set(CORVALTO_STORE_PATH [[${corvalto_program_dir}/corvalto-record]])")
install(SCRIPT ${corvalto_packaging_dir}/record-dir.cmake)

configure_file(${corvalto_packaging_dir}/postinst.in ${corvalto_packaging_out}/deb/postinst
    @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
    WORLD_READ WORLD_EXECUTE)
configure_file(${corvalto_packaging_dir}/postrm.in ${corvalto_packaging_out}/deb/postrm
    @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
    WORLD_READ WORLD_EXECUTE)

# --- The Debian package ------------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvalto)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Corvalto developers <dev@corvalto.example>")
set(CPACK_PACKAGE_VENDOR "Corvalto developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "arithmetic game for children: hit the multiples of 25")
set(CPACK_PACKAGE_DESCRIPTION
"Numbered targets jump about a coloured board; the player clicks those that
are multiples of 25 to score a point, and loses four points for any other.
A game lasts fifteen minutes. The best score and its player's name are kept
in one record shared by every account of the computer.

The game speaks Italian and is played with the mouse.")
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://corvalto.example/")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the linker cannot see: the platform plugins Qt loads at run time, and the fonts the
# window's font substitutions name. The X11 (xcb) plugin, which the game uses wherever an X
# server answers (XWayland included), ships in libqt6gui6. Qt Multimedia's audio backends
# ship inside libqt6multimedia6, which shlibdeps finds.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6gui6, fonts-liberation, fonts-dejavu-core")
# Qt's own translations make the standard dialog buttons speak the desktop's language. The
# Wayland plugin serves only a desktop with no X server at all: apt installs it with the game
# by default, and a machine that only ever runs X11 may leave it out.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${corvalto_packaging_out}/deb/postinst ${corvalto_packaging_out}/deb/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
