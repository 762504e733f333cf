#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The record: the best score on this computer and its holder, in two one-line files of a folder
// that every account of the machine reads. This is the part that changes that folder, written
// against the C++ standard library alone so that the privileged store can use it.
namespace record::core {

inline constexpr std::string_view scoreFile = "avelmora.txt";
inline constexpr std::string_view nameFile = "velmora.txt";
// Held while the folder changes; between the two replacements it also holds what is being stored,
// so that a store cut short is finished by the next one.
inline constexpr std::string_view lockFile = "velmora.lock";

// The longest name the name box takes, in UTF-16 units. No unit takes more than three bytes in
// UTF-8 (a character beyond them is two units and four bytes), so with its line end the longest
// name file has exactly this many bytes: the bound of every record file, written or read.
inline constexpr std::size_t longestName = 32767;
inline constexpr std::size_t maxFileSize = 3 * longestName + 2;
static_assert(maxFileSize == CORVALTO_RECORD_MAX_FILE_SIZE, "the build names another bound");

// What is wrong with a file of the folder. One word for each, as the store reports it.
enum class Problem {
    link,       // a symbolic link
    special,    // not a regular file: a folder, a FIFO, a device
    hardLinked, // a file with more than one name
    tooLarge,   // larger than maxFileSize
    unreadable, // cannot be opened or read
    unwritable, // cannot be created, written or flushed
    full,       // no space left (or the quota is used up)
    noFolder,   // the folder itself is missing or not a folder
    missing,    // missing, in a folder where only its administrator may create it
    busy,       // another store held the lock for too long
    inUse,      // another program kept the file open, without sharing it, for too long (Windows)
    noStore,    // the game's own: the store is missing, cannot start, or stopped without an answer
};

std::string_view problemWord(Problem problem);
// Problem for a word of problemWord(); false for anything else.
bool problemFromWord(std::string_view word, Problem& problem);

// A failure on one file of the folder ("." for the folder itself).
struct Failure {
    Problem problem;
    std::string file;
};

// The steps of a store, in order; a test stops a store after any of them.
enum class Step {
    locked,
    settled, // an unfinished store finished, both record files there
    journalWritten,
    scoreWritten,
    nameWritten,
    journalCleared,
};

// One record folder as the store changes it. Every operation refuses to act through a symbolic
// link, on anything but a regular file or on a file with more than one name, and throws Failure.
class Folder {
public:
    virtual ~Folder() = default;

    // Waits a bounded time for other stores; Problem::busy after that.
    virtual void lock() = 0;
    virtual void unlock() noexcept = 0;

    // The contents of the lock file: empty unless a store was cut short.
    virtual std::string readJournal() = 0;
    // Replaces the lock file's contents, durably.
    virtual void writeJournal(std::string_view bytes) = 0;

    // Creates `name` with no bytes if it is missing; true if it did.
    virtual bool createIfMissing(std::string_view name) = 0;
    // The whole file, at most maxFileSize bytes.
    virtual std::string read(std::string_view name) = 0;
    // Overwrites `name` in place with exactly `bytes`, durably. In place, so that the file keeps
    // its owner and mode: the player who stores never becomes its owner.
    virtual void rewrite(std::string_view name, std::string_view bytes) = 0;
    // Makes the folder's own changes (files created) durable.
    virtual void flush() = 0;

    // Called after each step; nothing by default.
    virtual void reached(Step) {}
};

} // namespace record::core
