#include "access/access_import.h"

#include "access/access_values.h"
#include "core/design.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <csignal>

#include <sys/prctl.h>
#include <sys/resource.h>

namespace accessdb {

namespace {

// The reader's address space: room for the program and its libraries, and for the largest
// value the file could hold several times over. A damaged long value that makes the library
// allocate without end stops here.
constexpr qint64 BaseMemory = qint64(2) << 30;
// What is kept of the library's words; the rest is only counted.
constexpr qsizetype KeptMessage = 4096;
// A protocol line longer than this is no line of the reader's.
constexpr qsizetype LongestLine = 1 << 20;

Failure damaged(const QString &path, const QString &detail)
{
    return Failure{Failure::Kind::Damaged, path, detail, 0};
}

void limitReader(qint64 memory)
{
#if !defined(__SANITIZE_ADDRESS__)
    const rlimit limit{rlim_t(memory), rlim_t(memory)};
    ::setrlimit(RLIMIT_AS, &limit);
#else
    (void)memory; // AddressSanitizer reserves more address space than any limit allows
#endif
    // Ends with the process that waits for it, whichever way that one ends.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
}

// Watches a running reader: its protocol lines, its standard error (any word from the
// library means it met something it could not read), and its progress.
class ReaderWatch
{
public:
    ReaderWatch(QProcess &child, const QString &source, const ImportOptions &options)
        : m_child(child)
        , m_source(source)
        , m_options(options)
    {
    }
    Result<ImportSummary> run();

private:
    bool takeLines();
    void stop(const Failure &why);

    QProcess &m_child;
    QString m_source;
    const ImportOptions &m_options;
    QByteArray m_pending;
    QElapsedTimer m_sinceProgress;
    std::optional<ReaderMessage> m_outcome;
    std::optional<Failure> m_stopped;
};

void ReaderWatch::stop(const Failure &why)
{
    if (!m_stopped)
        m_stopped = why;
    m_child.kill();
}

bool ReaderWatch::takeLines()
{
    m_pending += m_child.readAllStandardOutput();
    qsizetype end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const ReaderMessage m = parseReaderLine(m_pending.left(end));
        m_pending.remove(0, end + 1);
        if (m.type == ReaderMessage::Type::Progress) {
            m_sinceProgress.restart();
            if (m_options.progress)
                m_options.progress(m.table, m.rows);
        } else if (m.type == ReaderMessage::Type::Invalid) {
            stop(damaged(m_source, QStringLiteral("the reader said something it should not")));
            return false;
        } else {
            m_outcome = m;
        }
    }
    if (m_pending.size() > LongestLine) {
        stop(damaged(m_source, QStringLiteral("the reader said something it should not")));
        return false;
    }
    return true;
}

Result<ImportSummary> ReaderWatch::run()
{
    m_sinceProgress.start();
    while (m_child.state() != QProcess::NotRunning) {
        m_child.waitForReadyRead(50);
        const QByteArray words = m_child.readAllStandardError().left(KeptMessage);
        if (!words.isEmpty()) {
            const QString first = QString::fromLocal8Bit(words).section(QLatin1Char('\n'), 0, 0);
            stop(damaged(m_source,
                         QStringLiteral("the Access library reported: %1").arg(first.trimmed())));
        }
        if (!takeLines())
            continue;
        if (m_sinceProgress.elapsed() > qint64(m_options.stallSeconds) * 1000)
            stop(damaged(m_source, QStringLiteral("reading made no progress for %1 s (its "
                                                  "pages may loop)")
                                       .arg(m_options.stallSeconds)));
    }
    m_child.waitForFinished();
    takeLines();
    if (m_stopped)
        return *m_stopped;
    if (m_child.exitStatus() != QProcess::NormalExit)
        return damaged(m_source, QStringLiteral("reading it ended abnormally (it may need more "
                                                "memory than its size allows)"));
    if (m_outcome && m_outcome->type == ReaderMessage::Type::Failed)
        return m_outcome->failure.withPath(m_source);
    if (m_child.exitCode() != 0 || !m_outcome || m_outcome->type != ReaderMessage::Type::Done)
        return damaged(m_source, QStringLiteral("reading it ended without a result"));
    return m_outcome->summary;
}

} // namespace

bool isAccessFile(const QString &path)
{
    if (refuseInputPath(path))
        return false;
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && hasAccessHeader(file.read(32));
}

Result<ImportSummary> importAccess(const QString &accessPath, const ScratchFile &into,
                                   const ImportOptions &options)
{
    if (const auto refusal = refuseInputPath(accessPath))
        return *refusal;
    if (!isAccessFile(accessPath))
        return Failure{Failure::Kind::NotAccess, accessPath, {}, 0};
    QProcess child;
    const qint64 memory = BaseMemory + 4 * QFileInfo(accessPath).size();
    child.setChildProcessModifier([memory] { limitReader(memory); });
    QStringList arguments{QString::fromLatin1(ReaderCommand), accessPath, into.path()};
    if (options.jet3Encoding)
        arguments << *options.jet3Encoding;
    child.start(options.readerProgram, arguments);
    if (!child.waitForStarted())
        return Failure{Failure::Kind::System, options.readerProgram, child.errorString(), 0};
    return ReaderWatch(child, accessPath, options).run();
}

qsizetype placeOf(const QStringList &names, const QString &name)
{
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (names[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

std::optional<QString> experimentTableMisfit(const QStringList &names,
                                             const QList<ColumnKind> &kinds)
{
    const QStringList &wanted = experimentColumns();
    if (names.size() != wanted.size())
        return QStringLiteral(
                   "%1 has %2 columns, not the 13 of ID, Y1 ... Y11, Y12: copied as it is")
            .arg(ExperimentTableName)
            .arg(names.size());
    QStringList seen;
    for (qsizetype i = 0; i < names.size(); ++i) {
        const qsizetype at = placeOf(wanted, names[i]);
        const ColumnKind need =
            wanted.value(at) == TitleField ? ColumnKind::Text : ColumnKind::Number;
        if (at < 0 || kinds.value(i) != need || seen.contains(wanted[at]))
            return QStringLiteral("%1: column %2 does not fit (ID and Y1 ... Y11 take numbers, Y12 "
                                  "text): copied as it is")
                .arg(ExperimentTableName, names[i]);
        seen << wanted[at];
    }
    return std::nullopt;
}

} // namespace accessdb
