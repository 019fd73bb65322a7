#pragma once

// What record loading needs of the current record: its fields by name.

#include "core/design.h"
#include "core/numbers.h"

#include <QHash>
#include <QString>
#include <QVariant>

#include <array>
#include <cmath>
#include <optional>

struct FieldValue
{
    enum class Kind {
        Error, // not a field of the table, or no record is current
        Empty, // the field holds no value
        Value,
    };
    Kind kind = Kind::Error;
    QVariant value;               // the cell; left empty when `number` or `text` holds it
    std::optional<double> number; // a numeric cell as a source read it, without a variant
    std::optional<QString> text;  // a text cell the same way: a name a record, no variant

    static FieldValue error() { return {}; }
    static FieldValue of(const QVariant &v)
    {
        return v.isNull() ? FieldValue{Kind::Empty, QVariant(), std::nullopt, std::nullopt}
                          : FieldValue{Kind::Value, v, std::nullopt, std::nullopt};
    }
    static FieldValue ofNumber(double n) { return {Kind::Value, QVariant(), n, std::nullopt}; }
    static FieldValue ofText(const QString &t)
    {
        return {Kind::Value, QVariant(), std::nullopt, t};
    }

    // The cell as a number, as text, and as the variant it is. Inline: a record's numbers are
    // read a dozen at a time, and the flag and the value read apart from each other are not
    // held up by the stores that just wrote them.
    std::optional<double> asNumber() const
    {
        if (number)
            return finite(*number);
        return numbers::toNumber(text ? QVariant(*text) : value);
    }
    std::optional<QString> asText() const;
    // A numeric cell's value as asNumber reads it: none for infinities and NaN.
    static std::optional<double> finite(double n)
    {
        return std::isfinite(n) ? std::optional(n) : std::nullopt;
    }
    QVariant raw() const { return number ? QVariant(*number) : text ? QVariant(*text) : value; }
};

// A field's number where it holds a value: what record loading reads of the ID and of each
// response.
inline std::optional<double> numberOf(const FieldValue &field)
{
    return field.kind == FieldValue::Kind::Value ? field.asNumber() : std::nullopt;
}
// A field's text where it holds a value: what record loading reads of the response name.
inline std::optional<QString> textOf(const FieldValue &field)
{
    return field.kind == FieldValue::Kind::Value ? field.asText() : std::nullopt;
}

// What record loading reads of a record's fields.
struct RecordValues
{
    std::optional<double> idNumber;                          // numberOf the ID
    std::array<std::optional<double>, DesignRuns> responses; // numberOf each of Y1 ... Y11
    std::optional<QString> title;                            // textOf the response name
};

class RecordSource
{
public:
    virtual ~RecordSource();
    virtual FieldValue field(const QString &name) const = 0;
    // The values record loading reads, in one call: a source that holds numbers as numbers and
    // texts as texts hands them over without a field value each.
    virtual void values(RecordValues &values) const;
};

// A record held in memory: the command line's responses, and tests.
class MemoryRecord : public RecordSource
{
public:
    MemoryRecord() = default;
    explicit MemoryRecord(QHash<QString, QVariant> fields)
        : m_fields(std::move(fields))
    {
    }
    void set(const QString &name, const QVariant &value) { m_fields.insert(name, value); }
    FieldValue field(const QString &name) const override;

private:
    QHash<QString, QVariant> m_fields;
};
