#include "store/record_source.h"

#include "core/numbers.h"

#include <cmath>

RecordSource::~RecordSource() = default;

void RecordSource::values(RecordValues &values) const
{
    values.idNumber = numberOf(field(IdField));
    for (int run = 1; run <= DesignRuns; ++run)
        values.responses[std::size_t(run - 1)] = numberOf(field(responseField(run)));
    values.title = textOf(field(TitleField));
}

FieldValue MemoryRecord::field(const QString &name) const
{
    const auto it = m_fields.constFind(name);
    if (it == m_fields.cend())
        return FieldValue::error();
    return FieldValue::of(*it);
}

std::optional<QString> FieldValue::asText() const
{
    if (number)
        return numbers::toText(QVariant(*number));
    if (text)
        return *text;
    return numbers::toText(value);
}
