#include "cli/report_chunks.h"

#include "core/vector_state.h"

ReportChunks::ReportChunks(bool whole, qsizetype holdBytes)
    : m_whole(whole)
    , m_holdBytes(holdBytes)
    , m_nextFrom(std::numeric_limits<qint64>::min())
{
}

std::optional<ReportChunks::Chunk> ReportChunks::next(const StreamReader &reader)
{
    const std::lock_guard lock(m_mutex);
    if (!m_nextFrom || m_stopped)
        return std::nullopt;
    Chunk chunk{m_nextIndex++, *m_nextFrom, std::numeric_limits<qint64>::max()};
    m_nextFrom.reset();
    if (m_whole)
        return chunk;
    // Looked up under the lock: the next chunk starts where this one ends. Keys as SQLite gives
    // them run densely, so a chunk is ChunkRecords keys wide and the next starts at the first
    // key past it: one seek. Where keys lie far apart, counting records off one by one makes
    // fewer and fuller chunks; so is the first chunk, which starts below every key and must
    // hold the first record (the report's first row is its own). Should the lookup fail, this
    // chunk runs to the end of the table, and its reading meets what lasts of it.
    chunk.byKeys = !m_sparse && chunk.index > 0 &&
                   chunk.from <= std::numeric_limits<qint64>::max() - ChunkRecords;
    const Result<std::optional<qint64>> end = chunk.byKeys
                                                  ? reader.keyAtOffset(chunk.from + ChunkRecords, 0)
                                                  : reader.keyAtOffset(chunk.from, ChunkRecords);
    if (end && *end) {
        chunk.to = **end - 1; // keys grow: the next chunk's first one is above `from`
        m_nextFrom = **end;
    }
    return chunk;
}

void ReportChunks::noteRead(const Chunk &chunk, qint64 records)
{
    // The last chunk may be short whatever the keys.
    const bool last = chunk.to == std::numeric_limits<qint64>::max();
    if (chunk.byKeys && !last && records < ChunkRecords / 4) {
        const std::lock_guard lock(m_mutex);
        m_sparse = true;
    }
}

bool ReportChunks::waitTurn(qint64 index)
{
    std::unique_lock lock(m_mutex);
    m_turnPassed.wait(lock, [&] { return m_turn == index || m_stopped; });
    return m_turn == index && !m_stopped;
}

bool ReportChunks::isTurn(qint64 index)
{
    const std::lock_guard lock(m_mutex);
    return m_turn == index;
}

void ReportChunks::passTurn(qint64 index)
{
    {
        const std::lock_guard lock(m_mutex);
        m_turn = index + 1;
    }
    m_turnPassed.notify_all();
}

void ReportChunks::stop(std::optional<Failure> readFailure)
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopped = true;
        if (readFailure)
            m_readFailure = std::move(readFailure);
        else
            m_writeFailed = true;
    }
    m_turnPassed.notify_all();
}

void ReportChunks::work(const StreamReader &reader, ReportRows &rows)
{
    while (const std::optional<Chunk> chunk = next(reader)) {
        clearUpperVectorState();
        bool turn = false; // every chunk before this one is out: its rows may stream
        bool first = chunk->index == 0;
        qint64 records = 0;
        const auto write = [&] {
            if (!rows.flush())
                stop(std::nullopt);
            return !rows.failed();
        };
        const Result<void> read = reader.forEach(
            recordFieldNames(),
            [&](const std::vector<StreamCell> &cells) {
                rows.add(cells, std::exchange(first, false));
                ++records;
                if (rows.held() < ReportRows::WriteBytes)
                    return true;
                if (!turn)
                    turn =
                        rows.held() >= m_holdBytes ? waitTurn(chunk->index) : isTurn(chunk->index);
                if (!turn)
                    return rows.held() < m_holdBytes; // or an earlier chunk failed
                return write();
            },
            chunk->from, chunk->to);
        // A failure is met in turn, every chunk before it out: what was read before it is
        // written, and no chunk after it.
        if (!(turn || waitTurn(chunk->index)) || !write())
            return;
        if (!read) {
            stop(read.failure());
            return;
        }
        noteRead(*chunk, records);
        passTurn(chunk->index);
    }
}

Result<void> ReportChunks::readResult() const
{
    if (m_readFailure)
        return *m_readFailure;
    return {};
}

bool ReportChunks::writeFailed() const
{
    return m_writeFailed;
}
