/* The MSI package's check before it replaces or removes anything in the game's folder. A file
 * that another program keeps open (a game still running in another account's session) would
 * otherwise be replaced at the next restart: msiexec would end with 3010 and leave the old files
 * in use. The installation stops instead, naming the file in the log and, with a user interface,
 * in a box; msiexec then ends with 1603 and nothing is changed. An uninstall checks the same.
 *   x86_64-w64-mingw32-gcc -shared -o inuse.dll inuse.c -lmsi
 * Windows Installer calls CheckFilesInUse as an immediate custom action, after InstallValidate. */
/* windows.h before the others, which need its types. */
#include <windows.h>

#include <msi.h>
#include <msiquery.h>

/* Opened for writing with no sharing at all: refused while anyone has the file open, or maps it
 * as a running program or library. Another failure (no such access) is left to the installer. */
static int held(const wchar_t* path) {
    HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return 0;
    }
    DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

/* The first held file under the folder (which ends with a backslash) into found; links are not
 * followed. */
static int find_held(const wchar_t* folder, wchar_t* found) {
    wchar_t pattern[MAX_PATH];
    if (lstrlenW(folder) + 2 > MAX_PATH)
        return 0;
    lstrcpyW(pattern, folder);
    lstrcatW(pattern, L"*");
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    int result = 0;
    do {
        if (lstrcmpW(entry.cFileName, L".") == 0 || lstrcmpW(entry.cFileName, L"..") == 0)
            continue;
        if (lstrlenW(folder) + lstrlenW(entry.cFileName) + 2 > MAX_PATH)
            continue;
        lstrcpyW(found, folder);
        lstrcatW(found, entry.cFileName);
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            wchar_t sub[MAX_PATH];
            lstrcpyW(sub, found);
            lstrcatW(sub, L"\\");
            result = find_held(sub, found);
        } else {
            result = held(found);
        }
    } while (!result && FindNextFileW(search, &entry));
    FindClose(search);
    return result;
}

__declspec(dllexport) UINT __stdcall CheckFilesInUse(MSIHANDLE install) {
    wchar_t folder[MAX_PATH], found[MAX_PATH];
    DWORD size = MAX_PATH;
    if (MsiGetPropertyW(install, L"INSTALLDIR", folder, &size) != ERROR_SUCCESS || size == 0)
        return ERROR_SUCCESS;
    if (!find_held(folder, found))
        return ERROR_SUCCESS;
    MSIHANDLE record = MsiCreateRecord(1);
    MsiRecordSetStringW(record, 0,
                        L"Il file [1] è in uso, forse perché Corvalto è aperto in un'altra "
                        L"sessione: chiudi il programma che lo usa e riprova.");
    MsiRecordSetStringW(record, 1, found);
    MsiProcessMessage(install, (INSTALLMESSAGE)(INSTALLMESSAGE_ERROR | MB_OK | MB_ICONERROR),
                      record);
    MsiCloseHandle(record);
    return ERROR_INSTALL_FAILURE;
}
