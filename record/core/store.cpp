#include "store.h"

#include "numbers.h"

#include <utility>

namespace record::core {

namespace {

class Held {
public:
    explicit Held(Folder& folder)
        : m_folder(folder) {
        m_folder.lock();
        m_folder.reached(Step::locked);
    }
    ~Held() { m_folder.unlock(); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

private:
    Folder& m_folder;
};

// Score first, as a game that was not cut short writes them.
void writePair(Folder& folder, const Contents& contents) {
    folder.rewrite(scoreFile, contents.score);
    folder.reached(Step::scoreWritten);
    folder.rewrite(nameFile, contents.name);
    folder.reached(Step::nameWritten);
}

} // namespace

std::string line(std::string_view text) {
    return std::string(text) + "\r\n";
}

void settle(Folder& folder) {
    const bool createdScore = folder.createIfMissing(scoreFile);
    const bool createdName = folder.createIfMissing(nameFile);
    if (createdScore || createdName)
        folder.flush();
    const std::string journal = folder.readJournal();
    if (!journal.empty()) {
        // A journal that does not decode was torn while it was written: the files were not
        // touched yet, and the old pair stands.
        if (const auto pending = decodeJournal(journal))
            writePair(folder, *pending);
        folder.writeJournal({});
    }
    folder.reached(Step::settled);
}

void prepare(Folder& folder) {
    const Held held(folder);
    settle(folder);
}

Contents readPair(Folder& folder) {
    const Held held(folder);
    settle(folder);
    Contents pair;
    pair.score = folder.read(scoreFile);
    pair.name = folder.read(nameFile);
    return pair;
}

bool store(Folder& folder, double score, const Contents& contents) {
    const Held held(folder);
    settle(folder);
    if (!(lenientValue(folder.read(scoreFile)) < score))
        return false;
    // From here a crash leaves the journal behind, and the next store or load finishes the job.
    folder.writeJournal(encodeJournal(contents));
    folder.reached(Step::journalWritten);
    writePair(folder, contents);
    folder.writeJournal({});
    folder.reached(Step::journalCleared);
    folder.flush();
    return true;
}

namespace {

// The words the store prints; the game reads them back.
constexpr std::pair<Problem, std::string_view> problemWords[] = {
    {Problem::link, "link"},
    {Problem::special, "special"},
    {Problem::hardLinked, "hardlink"},
    {Problem::tooLarge, "toolarge"},
    {Problem::unreadable, "unreadable"},
    {Problem::unwritable, "unwritable"},
    {Problem::full, "full"},
    {Problem::noFolder, "nofolder"},
    {Problem::missing, "missing"},
    {Problem::busy, "busy"},
    {Problem::inUse, "inuse"},
    {Problem::noStore, "nostore"},
};

} // namespace

std::string_view problemWord(Problem problem) {
    for (const auto& [p, word] : problemWords) {
        if (p == problem)
            return word;
    }
    return "unwritable";
}

bool problemFromWord(std::string_view word, Problem& problem) {
    for (const auto& [p, w] : problemWords) {
        if (w == word) {
            problem = p;
            return true;
        }
    }
    return false;
}

} // namespace record::core
