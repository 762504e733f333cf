// The store's readers of bytes, without a folder, many times faster than fuzz_store: its command
// line and standard input (parseRequest), the journal decoder (a lock file's contents) and the
// lenient reading it compares a score file with.
//
// An input is text (seeds/request/): its first line is the arguments after the program's name,
// separated by tabs; the rest is standard input. The whole input is also a lock file's contents
// and a score file's, and its first line and the rest are the two files of a journal.

#include "journal.h"
#include "numbers.h"
#include "request.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

namespace {

using record::core::Contents;

#define CHECK(condition) ((condition) ? void() : broken(#condition, __LINE__))

[[noreturn]] void broken(const char* what, int line) {
    std::fprintf(stderr, "fuzz_request.cpp:%d: broken: %s\n", line, what);
    std::abort();
}

void request(std::string_view text) {
    const auto end = text.find('\n');
    std::string_view args = text.substr(0, end);
    const std::string_view name = end == text.npos ? std::string_view() : text.substr(end + 1);
    std::vector<std::string> words;
    while (words.size() < 16) {
        const auto tab = args.find('\t');
        const std::string_view word = args.substr(0, tab);
        words.emplace_back(word.substr(0, word.find('\0'))); // a C string ends at its NUL
        if (tab == args.npos)
            break;
        args.remove_prefix(tab + 1);
    }
    std::vector<const char*> argv{"corvalto-record"};
    for (const std::string& w : words)
        argv.push_back(w.c_str());
    argv.push_back(nullptr);

    const int input = ::memfd_create("name", MFD_CLOEXEC);
    CHECK(input >= 0);
    CHECK(::write(input, name.data(), name.size()) == ssize_t(name.size()));
    CHECK(::lseek(input, 0, SEEK_SET) == 0);
    const auto parsed = record::parseRequest(int(argv.size() - 1), argv.data(), input);
    ::close(input);

    const auto* got = std::get_if<record::StoreRequest>(&parsed);
    if (!got)
        return;
    if (got->command != record::Command::store) {
        // A read at end of input is one only if no name came.
        const bool read = words[0] == "read" || (words[0] == "read-at-eof" && name.empty());
        CHECK(words.size() == 1 &&
              (got->command == record::Command::read ? read : words[0] == "prepare"));
        return;
    }
    CHECK(words.size() == 2 && words[0] == "store");
    // What is written is what was given, within the bound, and reads back as the score decided on.
    CHECK(got->contents.score == words[1] + "\r\n" &&
          got->contents.name == std::string(name) + "\r\n");
    CHECK(got->contents.name.size() <= record::core::maxFileSize);
    CHECK(got->score >= -32768 && got->score <= 32767);
    CHECK(record::core::lenientValue(got->contents.score) == got->score);
}

void journal(std::string_view text) {
    // Whatever decodes came whole from the end of the lock file, within the bound.
    if (const auto decoded = record::core::decodeJournal(text)) {
        CHECK(text.starts_with("corvalto-record 1 "));
        CHECK(text.ends_with(decoded->score + decoded->name));
        CHECK(decoded->score.size() <= record::core::maxFileSize &&
              decoded->name.size() <= record::core::maxFileSize);
    }

    // A journal decodes to what was encoded; cut short or with a byte changed, to nothing else.
    const auto end = text.find('\n');
    const Contents contents{std::string(text.substr(0, end)),
                            end == text.npos ? std::string() : std::string(text.substr(end + 1))};
    if (contents.score.size() > record::core::maxFileSize ||
        contents.name.size() > record::core::maxFileSize)
        return;
    const std::string whole = record::core::encodeJournal(contents);
    CHECK(whole.size() <= record::core::maxJournalSize());
    CHECK(record::core::decodeJournal(whole) == contents);
    std::size_t seed = 0;
    for (const char c : text)
        seed = seed * 131 + static_cast<unsigned char>(c);
    const std::size_t at = seed % whole.size();
    CHECK(!record::core::decodeJournal(std::string_view(whole).substr(0, at)));
    std::string changed = whole;
    changed[at] = char(changed[at] ^ (1 + seed / whole.size() % 255));
    const auto decoded = record::core::decodeJournal(changed);
    CHECK(!decoded || *decoded == contents);
}

void numbers(std::string_view text) {
    const double lenient = record::core::lenientValue(text);
    CHECK(lenient == lenient); // never NaN: the store compares with it
    // A whole number reads the same either way.
    if (const auto strict = record::core::strictValue(text))
        CHECK(*strict == lenient);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    request(text);
    journal(text);
    numbers(text);
    return 0;
}
