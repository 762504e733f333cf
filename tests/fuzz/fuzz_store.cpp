// Everything the privileged store reads, from its caller and from its folder, fuzzed through its
// own code: the command line and standard input (parseRequest), then the command it asks
// for (carryOut) on a real folder whose three files are of any kind, size and contents. After
// each run the folder must hold the old pair or the new one, nothing else, nothing beyond the
// bound, an empty journal after success, and nothing outside it may have changed.
//
// An input is text, so that seeds can be written by hand (seeds/):
//   line 1   the arguments after the program's name, separated by tabs
//   line 2   one letter for each of: the score file, the name file, the lock file, standard input
//   then     four sections separated by lines "~": standard input, score file, name file, lock file
//
// Files:  r  regular, with its section's bytes (also any letter not listed here)
//         m  missing
//         b  its section's bytes and zeros up to the bound it is read with; B  one byte more
//         l  a symbolic link to a file outside the folder; d  one to a missing file
//         h  a second name of a file outside the folder; f  a FIFO; D  a folder
// Lock:   j  the journal of a store (its section's first line is the score, the rest the name)
//         t  that journal torn at a point its section chooses; J  a journal of two longest files
// Input:  i  its section (also any letter not listed); n  the longest name that can be stored,
//         its section repeated; N  one byte longer

#include "journal.h"
#include "numbers.h"
#include "posixfolder.h"
#include "request.h"
#include "store.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using record::core::Contents;
using record::core::Failure;
using record::core::Problem;

#define CHECK(condition) ((condition) ? void() : broken(#condition, __LINE__))

[[noreturn]] void broken(const char* what, int line) {
    std::fprintf(stderr, "fuzz_store.cpp:%d: broken: %s\n", line, what);
    std::abort();
}

// ---- The input ----

struct Input {
    std::vector<std::string> arguments;
    char score = 'r', name = 'r', lock = 'r', input = 'i';
    std::string sections[4]; // standard input, score file, name file, lock file
};

std::string_view nextLine(std::string_view& text) {
    const auto end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == text.npos ? text.size() : end + 1);
    return line;
}

Input parseInput(std::string_view text) {
    Input in;
    std::string_view args = nextLine(text);
    while (in.arguments.size() < 16) {
        const auto tab = args.find('\t');
        // A word of a command line ends at its first NUL.
        const std::string_view word = args.substr(0, tab);
        in.arguments.emplace_back(word.substr(0, word.find('\0')));
        if (tab == args.npos)
            break;
        args.remove_prefix(tab + 1);
    }
    if (in.arguments.size() == 1 && in.arguments[0].empty())
        in.arguments.clear();
    const std::string_view kinds = nextLine(text);
    char* const letters[] = {&in.score, &in.name, &in.lock, &in.input};
    for (std::size_t i = 0; i < kinds.size() && i < 4; ++i)
        *letters[i] = kinds[i];
    for (int i = 0; i < 4; ++i) {
        const auto end = text.find("\n~\n");
        in.sections[i] = std::string(text.substr(0, end));
        text.remove_prefix(end == text.npos ? text.size() : end + 3);
    }
    return in;
}

// ---- The folder and what lies outside it ----

std::string g_base;    // a fresh temporary folder per process, on tmpfs where there is one
std::string g_folder;  // the record folder
std::string g_outside; // files a hostile entry points at

void removeAll(const std::string& dir) {
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return;
    std::vector<std::string> names;
    while (const dirent* e = ::readdir(d)) {
        const std::string_view n = e->d_name;
        if (n != "." && n != "..")
            names.emplace_back(n);
    }
    ::closedir(d);
    for (const std::string& n : names) {
        const std::string path = dir + '/' + n;
        if (::unlink(path.c_str()) != 0) {
            removeAll(path);
            ::rmdir(path.c_str());
        }
    }
}

void cleanUp() {
    removeAll(g_base);
    ::rmdir(g_base.c_str());
}

void writeFile(const std::string& path, std::string_view bytes, mode_t mode) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    CHECK(fd >= 0);
    CHECK(::fchmod(fd, mode) == 0);
    CHECK(::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size()));
    ::close(fd);
}

// What one entry is, as seen from outside the store.
struct Entry {
    enum Kind { missing, regular, link, fifo, folder, other } kind = missing;
    std::string bytes; // a regular file's contents, or a link's target
    mode_t mode = 0;
    nlink_t links = 0;
    bool operator==(const Entry&) const = default;
};

Entry look(const std::string& path) {
    Entry entry;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return entry;
    entry.mode = st.st_mode & 07777;
    entry.links = st.st_nlink;
    if (S_ISREG(st.st_mode)) {
        entry.kind = Entry::regular;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        CHECK(fd >= 0);
        entry.bytes.resize(std::size_t(st.st_size));
        CHECK(::read(fd, entry.bytes.data(), entry.bytes.size()) == ssize_t(st.st_size));
        ::close(fd);
    } else if (S_ISLNK(st.st_mode)) {
        entry.kind = Entry::link;
        char target[256];
        const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
        entry.bytes.assign(target, std::size_t(std::max<ssize_t>(n, 0)));
    } else {
        entry.kind = S_ISFIFO(st.st_mode)  ? Entry::fifo
                     : S_ISDIR(st.st_mode) ? Entry::folder
                                           : Entry::other;
    }
    return entry;
}

std::map<std::string, Entry> lookAll(const std::string& dir) {
    std::map<std::string, Entry> entries;
    DIR* d = ::opendir(dir.c_str());
    CHECK(d != nullptr);
    while (const dirent* e = ::readdir(d)) {
        const std::string_view n = e->d_name;
        if (n != "." && n != "..")
            entries.emplace(n, look(dir + '/' + e->d_name));
    }
    ::closedir(d);
    return entries;
}

// The problem the store must report for an entry of this kind, if any.
std::optional<Problem> hostile(char kind) {
    switch (kind) {
    case 'l':
    case 'd':
        return Problem::link;
    case 'f':
    case 'D':
        return Problem::special;
    case 'h':
        return Problem::hardLinked;
    }
    return std::nullopt;
}

// The store that the journal of a lock laid as 'j', 't' or 'J' holds.
Contents journalContents(char kind, std::string_view section) {
    if (kind == 'J') {
        const std::string longest(record::core::maxFileSize, section.empty() ? 'x' : section[0]);
        return {longest, longest};
    }
    const auto end = section.find('\n');
    return {std::string(section.substr(0, end)),
            end == section.npos ? std::string() : std::string(section.substr(end + 1))};
}

// Lays out one entry; returns the bytes of a regular file (empty otherwise).
std::string lay(std::string_view name, char kind, std::string_view section, bool isLock) {
    const std::string path = g_folder + '/' + std::string(name);
    const std::size_t bound = isLock ? record::core::maxJournalSize() : record::core::maxFileSize;
    std::string bytes(section);
    switch (kind) {
    case 'm':
        return {};
    case 'l':
        CHECK(::symlink((g_outside + "/target").c_str(), path.c_str()) == 0);
        return {};
    case 'd':
        CHECK(::symlink((g_outside + "/nothing").c_str(), path.c_str()) == 0);
        return {};
    case 'h': {
        const std::string other = g_outside + "/second-" + std::string(name);
        writeFile(other, section, 0600);
        CHECK(::link(other.c_str(), path.c_str()) == 0);
        return {};
    }
    case 'f':
        CHECK(::mkfifo(path.c_str(), 0600) == 0);
        return {};
    case 'D':
        CHECK(::mkdir(path.c_str(), 0700) == 0);
        return {};
    case 'b':
    case 'B':
        bytes.resize(bound + (kind == 'B'), '\0');
        break;
    case 'j':
    case 't':
    case 'J':
        if (!isLock)
            break;
        bytes = record::core::encodeJournal(journalContents(kind, section));
        if (kind == 't') {
            std::size_t at = 0;
            for (const char c : section)
                at = at * 31 + static_cast<unsigned char>(c);
            bytes.resize(at % bytes.size());
        }
        break;
    }
    // Not a mode the store would give it: one it must keep.
    writeFile(path, bytes, 0640);
    return bytes;
}

std::string nameInput(const Input& in) {
    const std::size_t longest = record::core::maxFileSize - 2;
    if (in.input != 'n' && in.input != 'N')
        return in.sections[0];
    const std::string unit = in.sections[0].empty() ? "x" : in.sections[0];
    std::string name;
    while (name.size() < longest)
        name += unit;
    name.resize(longest + (in.input == 'N'));
    return name;
}

// ---- The checks ----

// What parseRequest must make of the arguments and the name.
void checkRequest(const Input& in, const std::string& name,
                  const std::variant<record::StoreRequest, record::WrongUse>& parsed) {
    const auto& args = in.arguments;
    const auto* request = std::get_if<record::StoreRequest>(&parsed);
    if (args.size() == 1 && (args[0] == "prepare" || args[0].starts_with("read"))) {
        const bool read = args[0] == "read" || (args[0] == "read-at-eof" && name.empty());
        CHECK(bool(request) == (args[0] == "prepare" || read));
        CHECK(!request ||
              request->command == (read ? record::Command::read : record::Command::prepare));
        return;
    }
    const bool store = args.size() == 2 && args[0] == "store";
    const auto score = store ? record::scoreValue(args[1]) : std::nullopt;
    if (score) {
        // Whatever score is accepted is written as given and must read back as that score.
        CHECK(*score >= -32768 && *score <= 32767 && *score == std::trunc(*score));
        CHECK(record::core::lenientValue(record::core::line(args[1])) == *score);
        CHECK(record::core::strictValue(args[1]) == score);
    } else if (store) {
        // The score label's own forms are never refused.
        const auto value = record::core::strictValue(args[1]);
        if (value && *value >= -32768 && *value <= 32767 && *value == std::trunc(*value)) {
            const std::string plain = std::to_string(int(*value));
            CHECK(args[1] != plain && args[1] != ' ' + plain);
        }
    }
    // Every name the game can store is taken, and nothing longer: the bound of the files.
    const bool fits = name.size() + 2 <= record::core::maxFileSize;
    CHECK(bool(request) == (score && fits));
    if (request) {
        CHECK(request->command == record::Command::store && request->score == *score);
        CHECK(request->contents.score == args[1] + "\r\n");
        CHECK(request->contents.name == name + "\r\n");
    }
}

// The store a lock file holds, known from how it was laid rather than from the decoder: an
// intact journal holds its store, a torn one nothing.
std::optional<Contents> pendingStore(char kind, std::string_view section, std::string_view lock) {
    if (kind == 'j' || kind == 'J')
        return journalContents(kind, section);
    if (kind == 't' || kind == 'b' || kind == 'B')
        return std::nullopt;
    // Anything else could only be an intact journal if the fuzzer wrote one out.
    auto pending = record::core::decodeJournal(lock);
    if (pending) {
        CHECK(lock.starts_with("corvalto-record 1 "));
        CHECK(lock.ends_with(pending->score + pending->name));
    }
    return pending;
}

void checkOutside(const std::map<std::string, Entry>& before) {
    CHECK(lookAll(g_outside) == before);
}

void run(const Input& in) {
    removeAll(g_folder);
    removeAll(g_outside);
    writeFile(g_outside + "/target", "outside\r\n", 0600);

    const std::string oldScore = lay(record::core::scoreFile, in.score, in.sections[1], false);
    const std::string oldName = lay(record::core::nameFile, in.name, in.sections[2], false);
    const std::string oldLock = lay(record::core::lockFile, in.lock, in.sections[3], true);
    const std::map<std::string, Entry> folderBefore = lookAll(g_folder);
    const std::map<std::string, Entry> outsideBefore = lookAll(g_outside);

    // The caller's side, exactly as the store reads it.
    const std::string name = nameInput(in);
    const int input = ::memfd_create("name", MFD_CLOEXEC);
    CHECK(input >= 0);
    CHECK(::write(input, name.data(), name.size()) == ssize_t(name.size()));
    CHECK(::lseek(input, 0, SEEK_SET) == 0);
    std::vector<const char*> argv{"corvalto-record"};
    for (const std::string& a : in.arguments)
        argv.push_back(a.c_str());
    argv.push_back(nullptr);
    const auto parsed = record::parseRequest(int(argv.size() - 1), argv.data(), input);
    ::close(input);
    checkRequest(in, name, parsed);
    const auto* request = std::get_if<record::StoreRequest>(&parsed);
    if (!request) {
        CHECK(lookAll(g_folder) == folderBefore);
        return checkOutside(outsideBefore);
    }

    // What the store must do: refuse the first hostile entry in the order it meets them.
    std::optional<Failure> expected;
    const std::pair<char, std::string_view> order[] = {{in.lock, record::core::lockFile},
                                                       {in.score, record::core::scoreFile},
                                                       {in.name, record::core::nameFile}};
    for (const auto& [kind, file] : order) {
        if (const auto problem = hostile(kind); problem && !expected)
            expected = Failure{*problem, std::string(file)};
    }
    // Otherwise finish a store left in the journal, then store if the score is higher.
    const auto pending = pendingStore(in.lock, in.sections[3], oldLock);
    const Contents settled = pending ? *pending : Contents{oldScore, oldName};
    bool stored = false;
    // A store reads the score file, a read both.
    const bool storing = request->command == record::Command::store;
    const bool reading = request->command == record::Command::read;
    if (!expected && (storing || reading) && settled.score.size() > record::core::maxFileSize)
        expected = Failure{Problem::tooLarge, std::string(record::core::scoreFile)};
    else if (!expected && reading && settled.name.size() > record::core::maxFileSize)
        expected = Failure{Problem::tooLarge, std::string(record::core::nameFile)};
    else if (!expected && storing)
        stored = record::core::lenientValue(settled.score) < request->score;

    std::optional<Failure> failure;
    bool answer = false;
    Contents read;
    try {
        record::PosixFolder folder(g_folder, std::chrono::milliseconds(100));
        answer = record::carryOut(folder, *request, read);
    } catch (const Failure& caught) {
        failure = caught;
    }
    CHECK(failure.has_value() == expected.has_value());
    if (failure)
        CHECK(failure->problem == expected->problem && failure->file == expected->file);
    checkOutside(outsideBefore);

    const std::map<std::string, Entry> after = lookAll(g_folder);
    // No temporary file, nothing but the three names.
    for (const auto& [file, entry] : after) {
        CHECK(file == record::core::scoreFile || file == record::core::nameFile ||
              file == record::core::lockFile);
    }
    const auto entry = [&](std::string_view file) {
        const auto it = after.find(std::string(file));
        return it == after.end() ? Entry{} : it->second;
    };
    const auto was = [&](std::string_view file) {
        const auto it = folderBefore.find(std::string(file));
        return it == folderBefore.end() ? Entry{} : it->second;
    };

    if (expected && expected->problem != Problem::tooLarge) {
        // Refused before anything was written: a missing file may have been created empty.
        for (const std::string_view file :
             {record::core::scoreFile, record::core::nameFile, record::core::lockFile}) {
            const Entry now = entry(file);
            if (was(file).kind == Entry::missing)
                CHECK(now.kind == Entry::missing ||
                      (now.kind == Entry::regular && now.bytes.empty()));
            else
                CHECK(now == was(file));
        }
        return;
    }

    // Settled: a whole pair, the new one if stored, and an empty journal.
    CHECK(answer == (stored || !storing));
    const Contents pair = stored ? request->contents : settled;
    if (!failure && request->command == record::Command::read)
        CHECK(read == pair);
    const Entry score = entry(record::core::scoreFile);
    const Entry nameFile = entry(record::core::nameFile);
    const Entry lock = entry(record::core::lockFile);
    CHECK(score.kind == Entry::regular && score.bytes == pair.score && score.links == 1);
    CHECK(nameFile.kind == Entry::regular && nameFile.bytes == pair.name && nameFile.links == 1);
    CHECK(lock.kind == Entry::regular && lock.bytes.empty() && lock.links == 1);
    // Whatever it wrote is within the bound the game reads with.
    if (stored || pending)
        CHECK(pair.score.size() <= record::core::maxFileSize &&
              pair.name.size() <= record::core::maxFileSize);
    // A file it found keeps its mode; one it made is readable by all, written by the group.
    const auto found = [&](std::string_view file) { return was(file).kind != Entry::missing; };
    CHECK(score.mode == (found(record::core::scoreFile) ? 0640 : 0664));
    CHECK(nameFile.mode == (found(record::core::nameFile) ? 0640 : 0664));
    CHECK(lock.mode == (found(record::core::lockFile) ? 0640 : 0660));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // tmpfs where there is one: the store flushes every file it writes.
    for (const char* root : {"/dev/shm", "/tmp"}) {
        std::string base = std::string(root) + "/corvalto-fuzz.XXXXXX";
        if (::mkdtemp(base.data())) {
            g_base = base;
            break;
        }
    }
    CHECK(!g_base.empty());
    g_folder = g_base + "/record";
    g_outside = g_base + "/outside";
    CHECK(::mkdir(g_folder.c_str(), 0755) == 0 && ::mkdir(g_outside.c_str(), 0755) == 0);
    std::atexit(cleanUp);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    run(parseInput(std::string_view(reinterpret_cast<const char*>(data), size)));
    return 0;
}
