// corvalto-record: the one program that changes the shared record folder. Installed setgid games
// beside the game, it trusts nothing it is given: no environment, no path from its caller (the
// folder is fixed when it is built), a bounded input, and the group only for the folder's work.
//
//   corvalto-record prepare        both record files there, no store left half done
//   corvalto-record store SCORE    the player's name on standard input
//
// Exit status: 0 done (stored), 1 not stored (the record is as high or higher), 2 wrong use,
// 3 the folder or a file cannot be used: standard output then says which and why, as one line
// "<problem> <file>".

#include "journal.h"
#include "posixfolder.h"
#include "store.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

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

// The score as the score label shows it: an optional leading space, an optional minus sign and
// up to five digits, within the 16-bit range the game keeps it in.
std::optional<double> scoreValue(std::string_view text) {
    if (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    const bool negative = !text.empty() && text.front() == '-';
    if (negative)
        text.remove_prefix(1);
    if (text.empty() || text.size() > 5)
        return std::nullopt;
    long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    value = negative ? -value : value;
    if (value < -32768 || value > 32767)
        return std::nullopt;
    return double(value);
}

// Standard input, if it holds no more than a name the game can store.
std::optional<std::string> readName() {
    constexpr std::size_t bound = record::core::maxFileSize - 2;
    std::string name;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(0, buffer, sizeof buffer);
        if (n == 0)
            return name;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (name.size() + std::size_t(n) > bound)
            return std::nullopt;
        name.append(buffer, std::size_t(n));
    }
}

int usage(const char* what) {
    std::fprintf(stderr,
                 "corvalto-record: %s\n"
                 "usage: corvalto-record prepare\n"
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

    const std::string_view command = argc >= 2 ? argv[1] : "";
    std::optional<double> score;
    std::string name;
    if (command == "store" && argc == 3) {
        score = scoreValue(argv[2]);
        if (!score)
            return usage("the score must be a whole number from -32768 to 32767");
        auto read = readName();
        if (!read)
            return usage("the name on standard input is too long");
        name = std::move(*read);
    } else if (command != "prepare" || argc != 2) {
        return usage("unknown command");
    }

    int status = done;
    std::optional<record::core::Failure> failure;
    if (::setegid(privileged) != 0)
        return unusable;
    try {
        record::PosixFolder folder(CORVALTO_RECORD_DIR);
        if (score) {
            const record::core::Contents contents{record::core::line(argv[2]),
                                                  record::core::line(name)};
            status = record::core::store(folder, *score, contents) ? done : notStored;
        } else {
            record::core::prepare(folder);
        }
    } catch (const record::core::Failure& caught) {
        failure = caught;
    }
    if (::setresgid(own, own, own) != 0)
        return unusable;

    if (failure) {
        std::printf("%s %s\n", std::string(record::core::problemWord(failure->problem)).c_str(),
                    failure->file.c_str());
        status = unusable;
    }
    if (std::fflush(stdout) != 0 && status != unusable)
        status = unusable;
    return status;
}
