#include "row_values.h"

#include "access/access_values.h"

#include <QSet>
#include <QtEndian>

#include <cstdlib>

namespace accessdb {

namespace {

// A long value's header: its length and flags, where it lives, and four spare bytes.
constexpr int LongValueHeader = 12;

Failure engineFailure(sqlite3_stmt *statement)
{
    sqlite3 *db = sqlite3_db_handle(statement);
    return Failure{Failure::Kind::Engine,
                   {},
                   QString::fromUtf8(sqlite3_errmsg(db)),
                   sqlite3_extended_errcode(db)};
}

} // namespace

bool boundByLibrary(int type)
{
    return type == MDB_MONEY || type == MDB_NUMERIC || type == MDB_REPID || type == MDB_COMPLEX;
}

Failure damaged(const QString &detail)
{
    return Failure{Failure::Kind::Damaged, {}, detail, 0};
}

Result<QString> RowValues::text(QByteArrayView stored) const
{
    const std::optional<QString> decoded =
        m_encoding.isEmpty() ? decodeUnicodeText(stored) : decodeCodePageText(stored, m_encoding);
    if (!decoded)
        return damaged(m_encoding.isEmpty()
                           ? QStringLiteral("its text is no valid UTF-16")
                           : QStringLiteral("its text is not valid in %1 (name the file's code "
                                            "page with --jet3-encoding)")
                                 .arg(QString::fromLatin1(m_encoding)));
    return *decoded;
}

// A memo or OLE value, whole: inline, on one page, or on a chain of pages. Every page is read
// once, and the length read must be the one the value declares.
Result<QByteArray> RowValues::longValue(MdbColumn *col) const
{
    if (col->cur_value_len < LongValueHeader)
        return damaged(QStringLiteral("its long value's header is cut"));
    const auto *head = reinterpret_cast<const uchar *>(m_mdb->pg_buf) + col->cur_value_start;
    const quint32 word = qFromLittleEndian<quint32>(head);
    const qint64 declared = word & 0x3fffffff;
    if (declared > m_fileSize)
        return damaged(QStringLiteral("a long value declares %1 bytes, more than the file holds")
                           .arg(declared));
    QByteArray value;
    if (word & 0x80000000) { // inline
        value = QByteArray(reinterpret_cast<const char *>(head) + LongValueHeader,
                           col->cur_value_len - LongValueHeader);
    } else {
        const bool singlePage = word & 0x40000000;
        if (!singlePage && (word & 0xc0000000) != 0)
            return damaged(QStringLiteral("a long value has unknown flags"));
        quint32 pageRow = qFromLittleEndian<quint32>(head + 4);
        QSet<quint32> seen;
        value.reserve(declared);
        while (pageRow != 0) {
            if (seen.contains(pageRow))
                return damaged(QStringLiteral("a long value's pages form a loop"));
            seen.insert(pageRow);
            void *buf = nullptr;
            int start = 0;
            size_t len = 0;
            if (mdb_find_pg_row(m_mdb, int(pageRow), &buf, &start, &len) != 0 ||
                (!singlePage && len < 4))
                return damaged(QStringLiteral("a page of a long value cannot be read"));
            const char *row = static_cast<const char *>(buf) + start;
            const int skip = singlePage ? 0 : 4;
            if (value.size() + qint64(len) - skip > declared)
                return damaged(QStringLiteral("a long value is longer than it declares"));
            value.append(row + skip, qsizetype(len) - skip);
            pageRow = singlePage ? 0 : qFromLittleEndian<quint32>(row);
        }
    }
    if (value.size() != declared)
        return damaged(QStringLiteral("a long value holds %1 of its %2 bytes")
                           .arg(value.size())
                           .arg(declared));
    return value;
}

Result<void> RowValues::bind(sqlite3_stmt *insert, int slot, MdbColumn *col, bool experiment,
                             const char *bound) const
{
    // A boolean lives in the null mask: libmdb leaves 0 for true, 1 for false.
    if (col->col_type == MDB_BOOL)
        return sqlite3_bind_int(insert, slot, col->cur_value_len == 0 ? 1 : 0) == SQLITE_OK
                   ? Result<void>()
                   : engineFailure(insert);
    if (col->cur_value_len == 0)
        return {}; // NULL
    const char *at = reinterpret_cast<const char *>(m_mdb->pg_buf) + col->cur_value_start;
    const auto *u = reinterpret_cast<const uchar *>(at);
    const int len = col->cur_value_len;
    int rc = SQLITE_OK;
    switch (col->col_type) {
    case MDB_BYTE:
        rc = sqlite3_bind_int(insert, slot, u[0]);
        break;
    case MDB_INT:
        rc = sqlite3_bind_int(insert, slot, qFromLittleEndian<qint16>(u));
        break;
    case MDB_LONGINT:
        rc = sqlite3_bind_int64(insert, slot, qFromLittleEndian<qint32>(u));
        break;
    case MDB_FLOAT:
        rc = sqlite3_bind_double(insert, slot, double(qFromLittleEndian<float>(u)));
        break;
    case MDB_DOUBLE:
        rc = sqlite3_bind_double(insert, slot, qFromLittleEndian<double>(u));
        break;
    case MDB_DATETIME: {
        const double days = qFromLittleEndian<double>(u);
        const std::optional<QString> date = dateText(days);
        if (!date)
            return damaged(QStringLiteral("the date %1 is outside 0100-01-01 to 9999-12-31")
                               .arg(days, 0, 'g', 17));
        const QByteArray utf8 = date->toUtf8();
        rc = sqlite3_bind_text(insert, slot, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        break;
    }
    case MDB_BINARY:
        rc = sqlite3_bind_blob(insert, slot, at, len, SQLITE_TRANSIENT);
        break;
    case MDB_OLE:
    case MDB_MEMO: {
        Result<QByteArray> stored = longValue(col);
        if (!stored)
            return stored.failure();
        if (col->col_type == MDB_OLE) {
            rc = sqlite3_bind_blob64(insert, slot, stored->constData(), quint64(stored->size()),
                                     SQLITE_TRANSIENT);
            break;
        }
        const Result<QString> memo = text(*stored);
        if (!memo)
            return memo.failure();
        const QByteArray utf8 = memo->toUtf8();
        rc = sqlite3_bind_text64(insert, slot, utf8.constData(), quint64(utf8.size()),
                                 SQLITE_TRANSIENT, SQLITE_UTF8);
        break;
    }
    case MDB_TEXT: {
        const Result<QString> value = text(QByteArrayView(at, len));
        if (!value)
            return value.failure();
        const QByteArray utf8 = value->toUtf8();
        rc = sqlite3_bind_text(insert, slot, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        break;
    }
    case MDB_MONEY:
    case MDB_NUMERIC:
        rc = experiment ? sqlite3_bind_double(insert, slot, std::strtod(bound, nullptr))
                        : sqlite3_bind_text(insert, slot, bound, -1, SQLITE_TRANSIENT);
        break;
    default:
        rc = sqlite3_bind_text(insert, slot, bound, -1, SQLITE_TRANSIENT);
    }
    return rc == SQLITE_OK ? Result<void>() : engineFailure(insert);
}

} // namespace accessdb
