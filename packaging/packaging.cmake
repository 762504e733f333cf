# Installation layout; the Debian package is built from debian/ (dpkg-buildpackage).
#
# On Linux the programs sit together in a private folder and the sounds, which are the same on
# every architecture, under share/games, where Debian's games live. The game finds its sounds
# in suoni/ beside its real program (applicationDirPath resolves the link in games/), so a
# relative link there leads to them. Fixed folders rather than the multiarch libdir keep those
# links the same on every architecture.
#
#   <prefix>/lib/games/corvalto/corvalto          the program
#   <prefix>/lib/games/corvalto/corvalto_audio.so the audio output module it loads
#   <prefix>/lib/games/corvalto/corvalto-record   the record's store (setgid games once set up)
#   <prefix>/lib/games/corvalto/suoni             -> ../../../share/games/corvalto/suoni
#   <prefix>/share/games/corvalto/suoni/*.wav     the sounds
#   <prefix>/games/corvalto                       -> ../lib/games/corvalto/corvalto
#   <prefix>/share/applications/corvalto.desktop
#   <prefix>/share/metainfo/example.corvalto.corvalto.metainfo.xml
#   <prefix>/share/icons/hicolor/<n>x<n>/apps/corvalto.png
#   <prefix>/share/man/man6/corvalto.6.gz, share/man/it/man6/corvalto.6.gz
#   <prefix>/share/man/man6/corvalto-record.6.gz

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

set(corvalto_program_dir lib/games/corvalto)
set(corvalto_data_dir share/games/corvalto)
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
    # debian/rules, never from a staged install that a normal user makes.
    set_property(TARGET corvalto-record PROPERTY INSTALL_RPATH "")
    install(TARGETS corvalto-record RUNTIME DESTINATION ${corvalto_program_dir})
    # A stripped install (cmake --install --strip) also drops the compilers' .comment notes, as
    # dh_strip does in the package.
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
    install(FILES ${corvalto_sound_paths} DESTINATION ${corvalto_data_dir}/suoni)
else()
    message(STATUS "packaging: no corvalto_sounds target yet; the sounds are not installed")
endif()

# corvalto_link(<folder> <name> <target>): a relative link <folder>/<name> to <target>, both
# relative to the prefix. install(FILES) copies a link as a link.
function(corvalto_link folder name target)
    file(RELATIVE_PATH relative /p/${folder} /p/${target})
    file(MAKE_DIRECTORY ${corvalto_packaging_out}/links/${folder})
    file(CREATE_LINK ${relative} ${corvalto_packaging_out}/links/${folder}/${name} SYMBOLIC)
    install(FILES ${corvalto_packaging_out}/links/${folder}/${name} DESTINATION ${folder})
endfunction()
corvalto_link(${corvalto_games_dir} corvalto ${corvalto_program_dir}/corvalto)
corvalto_link(${corvalto_program_dir} suoni ${corvalto_data_dir}/suoni)

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

# --- Manual pages, compressed as Debian wants (gzip -9n: no name, no time) ------------------
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
add_custom_target(corvalto_docs ALL DEPENDS ${corvalto_gzipped})

install(FILES ${corvalto_packaging_out}/man/corvalto.6.gz ${corvalto_packaging_out}/man/corvalto-record.6.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES ${corvalto_packaging_out}/man-it/corvalto.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/it/man6)

# --- The shared record folder ------------------------------------------------------------
# root:games, 2775, written only by the setgid store. The package's postinst creates it (or
# locks down an older, world-writable one); cmake --install run as root uses the same script,
# then makes the installed store setgid games. A staged install (DESTDIR, as dh_auto_install
# and other packagers do) never touches the real machine. debian/rules takes the two scripts
# as configured here.
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
