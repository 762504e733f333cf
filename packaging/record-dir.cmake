# Creates the shared record folder at install time: cmake --install runs this with
# CORVALTO_RECORD_DIR set; the install test also runs it alone with cmake -P.
#
# 0777 without the sticky bit: every account writes the record, and one player must be
# able to replace a record file another player created, which the sticky bit forbids.
# An existing folder is left as it is, so an administrator's choice survives reinstalls.
# A staged install (DESTDIR set: CPack, distribution packaging) never touches the real
# machine; the package's postinst creates the folder there.

if(NOT DEFINED CORVALTO_RECORD_DIR OR NOT IS_ABSOLUTE "${CORVALTO_RECORD_DIR}")
    message(FATAL_ERROR "record-dir.cmake: CORVALTO_RECORD_DIR must be an absolute path")
endif()
set(dir "${CORVALTO_RECORD_DIR}")

if(NOT "$ENV{DESTDIR}" STREQUAL "")
    message(STATUS "Staged install: the record folder ${dir} is left to the package's set-up")
elseif(IS_DIRECTORY "${dir}")
    message(STATUS "Record folder: ${dir} (already there, left as it is)")
else()
    # Not fatal: a user installing into a home folder may not be able to write there; the
    # game also creates the folder itself when it can.
    execute_process(COMMAND ${CMAKE_COMMAND} -E make_directory "${dir}"
                    RESULT_VARIABLE failed ERROR_QUIET)
    if(failed OR NOT IS_DIRECTORY "${dir}")
        message(WARNING "Could not create the shared record folder ${dir}.\n"
                        "Create it as root with: mkdir -p '${dir}' && chmod 0777 '${dir}'")
    else()
        file(CHMOD "${dir}" DIRECTORY_PERMISSIONS
             OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_WRITE GROUP_EXECUTE
             WORLD_READ WORLD_WRITE WORLD_EXECUTE)
        message(STATUS "Record folder: ${dir} (created, mode 0777)")
    endif()
endif()
