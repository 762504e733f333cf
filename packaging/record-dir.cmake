# Sets up the shared record at install time: cmake --install runs this after installing the
# store. As root it runs the package's own set-up (CORVALTO_RECORD_SETUP, the configured
# postinst: the folder root:games 2775, the record files 0664, the lock file 0660, an older
# world-writable folder locked down) and makes the installed store setgid games, so that a
# plain install and the package leave the machine alike. Not as root it says what to run.
# A staged install (DESTDIR set: CPack, distribution packaging) never touches the machine; nor
# does an install of a build whose record folder lies in its own build tree (the play and test
# presets): that store runs unprivileged on a folder of its user's.
#
# Variables: CORVALTO_RECORD_DIR, CORVALTO_RECORD_SETUP, CORVALTO_BUILD_DIR, CORVALTO_STORE_PATH
# (the store relative to CMAKE_INSTALL_PREFIX). The install test also runs it with cmake -P.

foreach(var CORVALTO_RECORD_DIR CORVALTO_RECORD_SETUP CORVALTO_BUILD_DIR CORVALTO_STORE_PATH
            CMAKE_INSTALL_PREFIX)
    if("${${var}}" STREQUAL "")
        message(FATAL_ERROR "record-dir.cmake: ${var} is not set")
    endif()
endforeach()
set(dir "${CORVALTO_RECORD_DIR}")
set(store "${CMAKE_INSTALL_PREFIX}/${CORVALTO_STORE_PATH}")
cmake_path(IS_PREFIX CORVALTO_BUILD_DIR "${dir}" NORMALIZE in_build)

if(NOT "$ENV{DESTDIR}" STREQUAL "")
    message(STATUS "Staged install: the record folder ${dir} and the store's group are left "
                   "to the package's set-up")
    return()
endif()
if(in_build)
    message(STATUS "Record folder: ${dir}, inside the build tree; the store stays unprivileged")
    return()
endif()

execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT uid STREQUAL "0")
    # Not fatal: the files are installed; only the shared record needs root.
    message(WARNING "Only root can set up the shared record folder ${dir} and make the store "
                    "${store} setgid games; until then the game cannot keep a record.\n"
                    "Run this install again as root: sudo cmake --install ${CORVALTO_BUILD_DIR}"
                    " --prefix ${CMAKE_INSTALL_PREFIX}")
    return()
endif()

execute_process(COMMAND sh "${CORVALTO_RECORD_SETUP}" configure RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "Could not set up the record folder ${dir}")
endif()
# chgrp before chmod: changing the group clears the setgid bit.
execute_process(COMMAND chgrp games "${store}" COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND chmod 2755 "${store}" COMMAND_ERROR_IS_FATAL ANY)
message(STATUS "Record folder: ${dir} (root:games 2775); ${store} setgid games")
