#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace record::core {

// The two files of a record, byte for byte.
struct Contents {
    std::string score;
    std::string name;
    bool operator==(const Contents&) const = default;
};

// A record about to be stored, as the lock file holds it: a header line with both lengths and a
// checksum, then both files' bytes. Only a whole, intact journal decodes: one cut short by a
// crash while it was written reads as nothing, and the record files were not touched yet.
std::string encodeJournal(const Contents& contents);
std::optional<Contents> decodeJournal(std::string_view bytes);

// The longest journal: what is read of a lock file.
std::size_t maxJournalSize();

} // namespace record::core
