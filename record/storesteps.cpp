#include "storesteps.h"

#include "platformfiles.h"

namespace record {

bool StoreSteps::createNew(const QString& path, const QByteArray& bytes) {
    return platform::createNew(path, bytes);
}

void StoreSteps::replace(const QString& from, const QString& to) {
    platform::replace(from, to);
}

} // namespace record
