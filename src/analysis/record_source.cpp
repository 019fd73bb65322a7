#include "analysis/record_source.h"

RecordSource::~RecordSource() = default;

FieldValue MemoryRecord::field(const QString &name) const
{
    const auto it = m_fields.constFind(name);
    if (it == m_fields.cend())
        return FieldValue::error();
    return FieldValue::of(*it);
}
