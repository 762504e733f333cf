#pragma once

#include "folder.h"
#include "journal.h"
#include "numbers.h"

#include <optional>
#include <string_view>
#include <variant>

// What a caller asks of the store: its command line and, for a store, the name on its standard
// input. Kept apart from main() so that everything the store reads from its caller can be fuzzed.
namespace record {

enum class Command { prepare, read, store };

struct StoreRequest {
    Command command = Command::prepare;
    double score = 0;
    core::Contents contents; // the two lines a store writes
};

// A command line or an input the store refuses; `reason` opens its usage message.
struct WrongUse {
    const char* reason;
};

// The request of `argv` (argv[0] is the program), reading the name of a store from `input` until
// its end, never more than the longest name the game can store and one read beyond. A read at
// end of input returns only once `input` has ended, and only if it brought nothing.
std::variant<StoreRequest, WrongUse> parseRequest(int argc, const char* const* argv, int input);

// The score as the score label shows it, the only form the store takes.
using core::scoreValue;

// Carries out `request` on `folder`: false only for a store that found the record as high or
// higher. A read leaves the pair in `pair`. Throws core::Failure.
bool carryOut(core::Folder& folder, const StoreRequest& request, core::Contents& pair);

} // namespace record
