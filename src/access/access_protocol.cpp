#include "access/access_protocol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <array>
#include <utility>

namespace accessdb {

namespace {

using Kind = Failure::Kind;

// The kinds a reader can report, by the names that cross the process boundary.
constexpr std::array<std::pair<Kind, const char *>, 8> KindNames{{
    {Kind::Damaged, "damaged"},
    {Kind::Encrypted, "encrypted"},
    {Kind::NotAccess, "not-access"},
    {Kind::CannotRead, "cannot-read"},
    {Kind::DiskFull, "disk-full"},
    {Kind::Io, "io"},
    {Kind::OutOfMemory, "out-of-memory"},
    {Kind::Engine, "engine"},
}};

QByteArray line(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace

QByteArray progressLine(const QString &table, qint64 rows)
{
    return line({{QStringLiteral("progress"), table}, {QStringLiteral("rows"), rows}});
}

QByteArray doneLine(const ImportSummary &s)
{
    return line({{QStringLiteral("done"),
                  QJsonObject{{QStringLiteral("tables"), s.tables},
                              {QStringLiteral("rows"), s.rows},
                              {QStringLiteral("version"), s.jetVersion},
                              {QStringLiteral("encoding"), s.textEncoding},
                              {QStringLiteral("strict"), s.experimentTableStrict},
                              {QStringLiteral("found"), s.experimentTableFound},
                              {QStringLiteral("notes"), QJsonArray::fromStringList(s.notes)}}}});
}

QByteArray failureLine(const Failure &f)
{
    QString kind = QStringLiteral("damaged"); // anything unnamed reads as a damaged file
    for (const auto &[k, name] : KindNames) {
        if (k == f.kind)
            kind = QString::fromLatin1(name);
    }
    return line({{QStringLiteral("failure"), kind}, {QStringLiteral("detail"), f.detail}});
}

ReaderMessage parseReaderLine(const QByteArray &text)
{
    ReaderMessage m;
    const QJsonObject o = QJsonDocument::fromJson(text).object();
    if (o.contains(QStringLiteral("progress"))) {
        m.type = ReaderMessage::Type::Progress;
        m.table = o[QStringLiteral("progress")].toString();
        m.rows = qint64(o[QStringLiteral("rows")].toDouble());
    } else if (o.contains(QStringLiteral("done"))) {
        const QJsonObject d = o[QStringLiteral("done")].toObject();
        m.type = ReaderMessage::Type::Done;
        m.summary.tables = d[QStringLiteral("tables")].toInt();
        m.summary.rows = qint64(d[QStringLiteral("rows")].toDouble());
        m.summary.jetVersion = d[QStringLiteral("version")].toString();
        m.summary.textEncoding = d[QStringLiteral("encoding")].toString();
        m.summary.experimentTableStrict = d[QStringLiteral("strict")].toBool();
        m.summary.experimentTableFound = d[QStringLiteral("found")].toBool();
        for (const QJsonValue &note : d[QStringLiteral("notes")].toArray())
            m.summary.notes << note.toString();
    } else if (o.contains(QStringLiteral("failure"))) {
        m.type = ReaderMessage::Type::Failed;
        const QString kind = o[QStringLiteral("failure")].toString();
        m.failure = Failure{Kind::Damaged, {}, o[QStringLiteral("detail")].toString(), 0};
        for (const auto &[k, name] : KindNames) {
            if (kind == QLatin1String(name))
                m.failure.kind = k;
        }
    }
    return m;
}

} // namespace accessdb
