#include "pipeline/safe_file.h"

Result<void> saveFileSafely(const QByteArray &bytes, const QString &path, Durability durability)
{
    Result<ScratchFile> scratch = ScratchFile::beside(path, Placement::Replace);
    if (!scratch)
        return scratch.failure();
    if (const Result<void> written = scratch->write(bytes); !written)
        return written;
    return scratch->commit(durability);
}
