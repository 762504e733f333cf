#pragma once

#include "folder.h"
#include "journal.h"

namespace record::core {

// With the lock held: finishes a store that was cut short (its journal written over both files
// again) and creates a missing record file with no bytes. Afterwards the folder holds a whole
// pair: the old one or the new one, never one file of each.
void settle(Folder& folder);

// Makes sure both record files exist and no store is left half done, under the lock.
void prepare(Folder& folder);

// Both record files, read under the lock once the folder is settled: never one file of a store
// and one of another.
Contents readPair(Folder& folder);

// Stores `contents` as the new record if `score` is strictly greater than the stored score (read
// the lenient way), deciding under the lock so that a higher record stored meanwhile by another
// game is never lowered. Returns whether it stored.
bool store(Folder& folder, double score, const Contents& contents);

// A file's line as the record keeps it: the text, then CR LF.
std::string line(std::string_view text);

} // namespace record::core
