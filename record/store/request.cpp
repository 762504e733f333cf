#include "request.h"

#include "store.h"

#include <cerrno>
#include <string>

#include <unistd.h>

namespace record {

namespace {

// The input, if it holds no more than a name the game can store; otherwise why not.
std::variant<std::string, WrongUse> readName(int input) {
    constexpr std::size_t bound = core::maxFileSize - 2;
    std::string name;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(input, buffer, sizeof buffer);
        if (n == 0)
            return name;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return WrongUse{"the name on standard input cannot be read"};
        }
        if (name.size() + std::size_t(n) > bound)
            return WrongUse{"the name on standard input is too long"};
        name.append(buffer, std::size_t(n));
    }
}

// Nothing, once the input has ended without a byte; otherwise why not.
std::optional<WrongUse> awaitEnd(int input) {
    char byte;
    for (;;) {
        const ssize_t n = ::read(input, &byte, 1);
        if (n == 0)
            return std::nullopt;
        if (n < 0 && errno == EINTR)
            continue;
        return WrongUse{n < 0 ? "standard input cannot be read" : "standard input must be empty"};
    }
}

} // namespace

std::variant<StoreRequest, WrongUse> parseRequest(int argc, const char* const* argv, int input) {
    const std::string_view command = argc >= 2 ? argv[1] : "";
    if (command == "prepare" && argc == 2)
        return StoreRequest{};
    if (command == "read" && argc == 2)
        return StoreRequest{Command::read, 0, {}};
    if (command == "read-at-eof" && argc == 2) {
        if (const auto wrong = awaitEnd(input))
            return *wrong;
        return StoreRequest{Command::read, 0, {}};
    }
    if (command != "store" || argc != 3)
        return WrongUse{"unknown command"};
    const std::optional<double> score = scoreValue(argv[2]);
    if (!score)
        return WrongUse{"the score must be a whole number from -32768 to 32767"};
    const auto name = readName(input);
    if (const auto* wrong = std::get_if<WrongUse>(&name))
        return *wrong;
    return StoreRequest{
        Command::store, *score, {core::line(argv[2]), core::line(std::get<std::string>(name))}};
}

bool carryOut(core::Folder& folder, const StoreRequest& request, core::Contents& pair) {
    switch (request.command) {
    case Command::prepare:
        core::prepare(folder);
        return true;
    case Command::read:
        pair = core::readPair(folder);
        return true;
    case Command::store:
        break;
    }
    return core::store(folder, request.score, request.contents);
}

} // namespace record
