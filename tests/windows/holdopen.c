/* Holds a file open without sharing, as a spreadsheet or a pupil's own program may:
 *   holdopen.exe <file> <seconds>
 * Prints "held" once the file is open (the caller waits for it), keeps it that long, and exits
 * with 0; with 1, and nothing printed, when the file cannot be opened. */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: holdopen.exe <file> <seconds>\n");
        return 2;
    }
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "holdopen: cannot open %s (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    printf("held\n");
    fflush(stdout);
    Sleep((DWORD)atoi(argv[2]) * 1000);
    CloseHandle(file);
    return 0;
}
