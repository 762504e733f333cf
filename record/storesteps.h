#pragma once

#include "folderlock.h"

#include <QByteArray>
#include <QString>

#include <chrono>

namespace record {

// The steps by which storeRecord changes the folder. A test derives from it to make one step fail
// and see that the old record survives whole.
class StoreSteps {
public:
    explicit StoreSteps(std::chrono::milliseconds lockPatience = FolderLock::defaultPatience)
        : m_lockPatience(lockPatience) {}
    virtual ~StoreSteps() = default;

    std::chrono::milliseconds lockPatience() const { return m_lockPatience; }

    // Creates `path` exclusively with `bytes`; false if the name is taken.
    virtual bool createNew(const QString& path, const QByteArray& bytes);
    // Renames the finished file `from` over `to` in one step.
    virtual void replace(const QString& from, const QString& to);

private:
    std::chrono::milliseconds m_lockPatience;
};

bool storeRecord(const QString& cartella, double score, const QString& scoreText,
                 const QString& nameText, StoreSteps& steps);

} // namespace record
