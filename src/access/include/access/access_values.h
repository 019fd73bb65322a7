#pragma once

// The values of an Access file as stored, turned into text without loss or refused: dates
// from their stored days, text from its stored bytes. Pure functions, for the reader and its
// tests.

#include "core/file_signatures.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QSet>
#include <QString>

#include <optional>

namespace accessdb {

// ISO-8601 text ("YYYY-MM-DDTHH:MM:SS", proleptic Gregorian) of a stored date/time: days
// since 1899-12-30, the fraction's magnitude being the time of day (-1.25 is 1899-12-29
// 06:00), rounded to the second. Nothing outside what Access allows (0100-01-01 to
// 9999-12-31) or for a value that is no number.
std::optional<QString> dateText(double stored);

// Text of a Jet 4 or ACE value: UTF-16 little-endian, or compressed (a leading FF FE, then
// runs of one-byte characters and of UTF-16 units, each NUL byte switching between them).
// Nothing for a value that is no valid UTF-16 (an odd length, a lone surrogate).
std::optional<QString> decodeUnicodeText(QByteArrayView stored);

// Text of a Jet 3 value in the code page `encoding` (an iconv name). A byte a Windows single-
// byte code page leaves undefined means the character of its own number, as in Windows;
// a NUL is a character like any other. Nothing for bytes the code page cannot decode.
std::optional<QString> decodeCodePageText(QByteArrayView stored, const QByteArray &encoding);

// A name SQLite allows for an Access table: its own, unless SQLite keeps it for itself (it
// begins with "sqlite_") or a name in `taken` (case-folded) has it; then "access_NAME",
// "access_NAME2", ... Names match regardless of case in both.
QString sqliteTableName(const QString &accessName, const QSet<QString> &taken);

// Whether the system can decode text in `encoding`.
bool isKnownEncoding(const QString &encoding);

// The iconv name of a Windows code page (936 → "GBK"), for a Jet 3 file's text.
QString encodingOfCodePage(int codePage);

// Whether an ACE file's first page carries an encryption header (Office encryption records
// its kind and version there); a damaged file without one is damaged, not encrypted.
bool hasEncryptionHeader(const QByteArray &head);

} // namespace accessdb
