#include "access/access_protocol.h"

#include "core/failure_json.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace accessdb {

namespace {

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
    return line(failureToJson(f));
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
    } else if (const std::optional<Failure> failure = failureFromJson(o)) {
        m.type = ReaderMessage::Type::Failed;
        m.failure = *failure;
    }
    return m;
}

} // namespace accessdb
