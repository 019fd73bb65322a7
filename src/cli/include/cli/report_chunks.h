#pragma once

// A table's report made by one or more threads at once. The table goes in chunks of records in
// key order; each chunk is made by whichever thread is free and written by the thread that made
// it as soon as every chunk before it is out. No row waits in a scratch file, and a thread
// holds at most HoldBytes of rows (more waits for its turn and then streams).

#include "cli/report_rows.h"
#include "core/result.h"
#include "store/stream_reader.h"

#include <condition_variable>
#include <limits>
#include <mutex>
#include <optional>

class ReportChunks
{
public:
    static constexpr qint64 ChunkRecords = 1024;
    static constexpr qsizetype HoldBytes = qsizetype(8) << 20;

    // `whole`: the table is one chunk (one thread, no boundaries to look up). `holdBytes`: the
    // rows a thread holds before it waits for its turn.
    explicit ReportChunks(bool whole, qsizetype holdBytes = HoldBytes);

    // Makes and writes chunks through `reader` and `rows` until the table is done or a chunk
    // failed. Each thread calls it with a reader of its own in the same snapshot.
    void work(const StreamReader &reader, ReportRows &rows);

    // Once every work() returned: what the reading of the chunk that failed met.
    Result<void> readResult() const;
    // Whether a write failed.
    bool writeFailed() const;

private:
    struct Chunk
    {
        qint64 index;
        qint64 from;
        qint64 to;
        bool byKeys = false; // ChunkRecords keys wide, not counted off record by record
    };
    // The next chunk; nothing when the table is done or the report stopped.
    std::optional<Chunk> next(const StreamReader &reader);
    // Waits until every chunk before `index` is out; false when the report stopped.
    bool waitTurn(qint64 index);
    bool isTurn(qint64 index);
    void passTurn(qint64 index);
    // A chunk failed in its turn: no chunk after it is made or written.
    void stop(std::optional<Failure> readFailure);
    // What reading `chunk` found: `records` of them.
    void noteRead(const Chunk &chunk, qint64 records);

    const bool m_whole;
    const qsizetype m_holdBytes;
    std::mutex m_mutex;
    std::condition_variable m_turnPassed;
    qint64 m_nextIndex = 0;
    std::optional<qint64> m_nextFrom; // nothing once the last chunk is handed out
    qint64 m_turn = 0;
    bool m_sparse = false; // keys far apart: chunks are counted off record by record
    bool m_stopped = false;
    std::optional<Failure> m_readFailure;
    bool m_writeFailed = false;
};
