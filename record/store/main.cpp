// corvalto-record: the one program that changes the shared record folder. Installed setgid games
// beside the game, it trusts nothing it is given: no environment, no path from its caller (the
// folder is fixed when it is built), a bounded input, and the group only for the folder's work.
//
//   corvalto-record prepare        both record files there, no store left half done
//   corvalto-record read           prepare, then print both files as a journal holds them
//   corvalto-record read-at-eof    read, once standard input has ended (it must be empty)
//   corvalto-record store SCORE    the player's name on standard input
//
// Exit status: 0 done (stored), 1 not stored (the record is as high or higher), 2 wrong use,
// 3 the folder or a file cannot be used: standard output then says which and why, as one line
// "<problem> <file>".

#include "posixfolder.h"
#include "request.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <variant>

#include <fcntl.h>
#include <unistd.h>

namespace {

enum Status { done = 0, notStored = 1, wrongUse = 2, unusable = 3 };

// A caller that closed a standard descriptor would otherwise have the next file opened here take
// its number, and a message meant for it could land in a record file.
bool standardDescriptorsOpen() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF && ::open("/dev/null", O_RDWR) != fd)
            return false;
    }
    return true;
}

int usage(const char* what) {
    std::fprintf(stderr,
                 "corvalto-record: %s\n"
                 "usage: corvalto-record prepare\n"
                 "       corvalto-record read\n"
                 "       corvalto-record read-at-eof < /dev/null\n"
                 "       corvalto-record store SCORE < name\n",
                 what);
    return wrongUse;
}

} // namespace

int main(int argc, char** argv) {
    if (!standardDescriptorsOpen())
        return unusable;
    // A closed reader or a file size limit set by the caller must give an error, not a kill.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);

    // Nothing but the folder's own work needs the group: until then, and after it, without.
    const gid_t own = ::getgid();
    const gid_t privileged = ::getegid();
    if (::setegid(own) != 0)
        return unusable;

    const auto parsed = record::parseRequest(argc, argv, 0);
    if (const auto* wrong = std::get_if<record::WrongUse>(&parsed))
        return usage(wrong->reason);
    const auto& request = std::get<record::StoreRequest>(parsed);

    int status = done;
    std::optional<record::core::Failure> failure;
    record::core::Contents pair;
    if (::setegid(privileged) != 0)
        return unusable;
    try {
        record::PosixFolder folder(CORVALTO_RECORD_DIR);
        status = record::carryOut(folder, request, pair) ? done : notStored;
    } catch (const record::core::Failure& caught) {
        failure = caught;
    }
    if (::setresgid(own, own, own) != 0)
        return unusable;

    if (failure) {
        std::printf("%s %s\n", std::string(record::core::problemWord(failure->problem)).c_str(),
                    failure->file.c_str());
        status = unusable;
    } else if (request.command == record::Command::read) {
        // Lengths and a checksum before the bytes: a reader tells a whole answer from a cut one.
        const std::string answer = record::core::encodeJournal(pair);
        if (std::fwrite(answer.data(), 1, answer.size(), stdout) != answer.size())
            status = unusable;
    }
    if (std::fflush(stdout) != 0 && status != unusable)
        status = unusable;
    return status;
}
