#include "cli/report_rows.h"

#include "cli/analysis_output.h"
#include "core/csv.h"
#include "core/shortest_text.h"
#include "pipeline/record_change.h"
#include "stats/model_analysis.h"
#include "stats/regression.h"

#include <algorithm>
#include <array>
#include <span>

namespace {

// The shortest text that reads back as the same float or double.
template <typename Number> void appendShortest(QByteArray &out, Number v)
{
    numbers::appendWritten(out, [v](char *at) { return numbers::writeShortest(at, v); });
}

// The designed fit's six coefficients in the report's column order.
std::array<float, 6> coefficientsOf(const regression::FitResult &fit)
{
    return {fit.b.b0, fit.b.b1, fit.b.b2, fit.b.b11, fit.b.b22, fit.b.b12};
}

} // namespace

ReportRows::ReportRows(const QString &format, int lines, std::FILE *out, Extras extras)
    : m_options{true, true, false, float(lines), {}, {}}
    , m_json(format == QLatin1String("json"))
    , m_csv(format == QLatin1String("csv"))
    , m_extras(extras)
    , m_out(out)
{
    m_line.reserve(2 * WriteBytes);
}

QString ReportRows::header(QChar separator, Extras extras)
{
    QStringList names{QStringLiteral("ID"),  QStringLiteral("name"),    QStringLiteral("b0"),
                      QStringLiteral("b1"),  QStringLiteral("b2"),      QStringLiteral("b11"),
                      QStringLiteral("b22"), QStringLiteral("b12"),     QStringLiteral("R"),
                      QStringLiteral("S"),   QStringLiteral("equation")};
    if (extras.responses) {
        for (int run = 1; run <= DesignRuns; ++run)
            names << responseField(run);
    }
    if (extras.analysis)
        names << analysisColumns();
    if (extras.units)
        names << realUnitsColumns();
    return names.join(separator) + QLatin1Char('\n');
}

void ReportRows::addExtras(const Row &row)
{
    const std::optional<analysis::ModelAnalysis> &a = row.record.analysis;
    if (m_json) {
        addJsonExtras(row);
        return;
    }
    // The responses as read and the analysis, through a pointer into room made for them.
    const char separator = m_csv ? ',' : '\t';
    m_line.chop(1); // the line break, put back below
    const qsizetype at = m_line.size();
    m_line.resize(at + DesignRuns * (numbers::ShortestTextMax + 1) + AnalysisCellsRoom + 1);
    char *p = m_line.data() + at;
    if (m_extras.responses) {
        // The record's own numbers when all eleven are; each cell as read otherwise.
        const std::optional<analysis::Responses> &y = row.record.fields.responses;
        for (int run = 1; run <= DesignRuns; ++run) {
            *p++ = separator;
            if (const auto v = y ? std::optional((*y)[std::size_t(run - 1)])
                                 : row.cells[std::size_t(run)].field().asNumber())
                p = numbers::writeShortestTyped(p, *v);
        }
    }
    if (m_extras.analysis)
        p = writeAnalysisCells(p, a ? &*a : nullptr, separator);
    m_line.resize(p - m_line.data());
    if (m_extras.units) {
        const QString sep = QString(QLatin1Char(separator));
        const auto textCell = [this](const QString &text) {
            if (m_csv)
                return csvField(text, CsvColumn::Text);
            QByteArray escaped(6 * text.size(), Qt::Uninitialized);
            escaped.truncate(writeEscapedUtf8(escaped.data(), text) - escaped.data());
            return QString::fromUtf8(escaped);
        };
        const QStringList cellsOut =
            a ? realUnitsCells(*a, m_extras.units->of(row.record.fields.idNumber), textCell)
              : QStringList(realUnitsColumns().size(), QString());
        m_line += (sep + cellsOut.join(sep)).toUtf8();
    }
    m_line += '\n';
}

void ReportRows::addJsonExtras(const Row &row)
{
    const std::optional<analysis::ModelAnalysis> &a = row.record.analysis;
    m_line.chop(1); // the closing brace, put back below
    if (m_extras.responses) {
        m_line += ", \"responses\": [";
        for (int run = 1; run <= DesignRuns; ++run) {
            if (run > 1)
                m_line += ',';
            const std::optional<double> v = row.cells[std::size_t(run)].field().asNumber();
            numbers::appendWritten(
                m_line, [v](char *at) { return numbers::writeJsonDocumentNumber(at, v); });
        }
        m_line += ']';
    }
    if (m_extras.analysis) {
        m_line += ", \"analysis\": ";
        if (!a) {
            m_line += "null";
        } else {
            const std::optional<Factors> factors =
                m_extras.units ? m_extras.units->of(row.record.fields.idNumber) : std::nullopt;
            writeAnalysisJson(m_line, *a, m_extras.units ? &factors : nullptr);
        }
    }
    m_line += '}';
}

bool ReportRows::flush()
{
    makeRows();
    if (std::fwrite(m_line.constData(), 1, std::size_t(m_line.size()), m_out) !=
        std::size_t(m_line.size()))
        m_failed = true;
    m_line.resize(0);
    return !m_failed;
}

void ReportRows::add(const std::vector<StreamCell> &cells, bool first)
{
    // Kept for the batch: the reader reuses its cells for the next record.
    Row &row = m_rows[std::size_t(m_count++)];
    row.cells.resize(cells.size());
    for (std::size_t i = 0; i < cells.size(); ++i)
        row.cells[i].takeValue(cells[i]);
    row.first = first;
    if (m_count == Batch)
        makeRows();
}

void ReportRows::makeRows()
{
    // Step by step over the whole batch: the code of each step stays in the processor's
    // instruction cache, which one record's way through all of them would not fit.
    const std::span<Row> rows(m_rows.data(), std::size_t(m_count));
    m_count = 0;
    for (Row &row : rows)
        fitRecord(m_options, StreamRecord(row.cells), row.record);
    // Made in its place: the analysis (a kilobyte) is not copied there from a temporary.
    struct InPlace
    {
        const analysis::Responses &y;
        operator analysis::ModelAnalysis() const { return analysis::analyse(y); }
    };
    for (Row &row : rows) {
        if (m_extras.analysis && row.record.fields.responses)
            row.record.analysis.emplace(InPlace{*row.record.fields.responses});
    }
    for (const Row &row : rows) {
        if (m_json)
            addJsonRow(row);
        else
            addTableRow(row);
        if (m_extras.responses || m_extras.analysis)
            addExtras(row);
    }
}

void ReportRows::addJsonRow(const Row &row)
{
    const RecordFields &record = row.record.fields;
    const regression::FitResult &fit = row.record.fit;
    const bool fitted = fit.hasCoefficients();
    const bool complete = fit.complete();
    QByteArray &line = m_line;
    const QByteArray null = QByteArrayLiteral("null");
    const std::array<float, 6> b = coefficientsOf(fit);
    line += row.first ? "\n{\"ID\": " : ",\n{\"ID\": ";
    line += record.id.isNull() ? null : jsonString(record.id).toUtf8();
    line += ", \"name\": ";
    line += jsonString(record.title).toUtf8();
    static const char *const keys[] = {
        ", \"b0\": ", ", \"b1\": ", ", \"b2\": ", ", \"b11\": ", ", \"b22\": ", ", \"b12\": "};
    for (std::size_t i = 0; i < 6; ++i) {
        line += keys[i];
        if (fitted)
            appendShortest(line, b[i]);
        else
            line += null;
    }
    line += ", \"R\": ";
    if (complete)
        appendShortest(line, fit.r);
    else
        line += null;
    line += ", \"S\": ";
    if (complete)
        appendShortest(line, fit.s);
    else
        line += null;
    line += ", \"equation\": ";
    line += jsonString(fit.equationShown()).toUtf8();
    line += '}';
}

void ReportRows::addTableRow(const Row &row)
{
    const RecordFields &record = row.record.fields;
    const regression::FitResult &fit = row.record.fit;
    const bool fitted = fit.hasCoefficients();
    QByteArray &line = m_line;
    const std::array<float, 6> b = coefficientsOf(fit);
    // The row written through a pointer into room made for its longest possible form: six
    // bytes a unit of text (an escape; in CSV a doubled quote, three bytes a unit), and in
    // CSV nine more a cell for its apostrophe and quotes.
    const QString &id = record.id;
    const QString &title = record.title;
    const QLatin1StringView equation = fit.equationShown();
    const qsizetype at = line.size();
    line.resize(at +
                6 * (id.size() + title.size() + equation.size() + fit.rShown().size() +
                     fit.sShown().size()) +
                6 * (numbers::ShortestTextMax + 1) + 16 + 3 * 9);
    char *p = line.data() + at;
    const char sep = m_csv ? ',' : '\t';
    // A CSV cell as csvField makes it, without making it but where quotes are needed.
    const auto cell = [&](const auto &text, CsvColumn column) {
        if (!m_csv) {
            p = writeEscapedUtf8(p, text);
            return;
        }
        const CsvNeeds needs = csvNeeds(text, column);
        if (needs.quotes) {
            p = writeUtf8(p, csvField(QString(text), column));
            return;
        }
        *p = '\'';
        p = writeUtf8(p + (needs.apostrophe ? 1 : 0), text);
    };
    cell(id, CsvColumn::Number);
    *p++ = sep;
    cell(title, CsvColumn::Text);
    for (float coefficient : b) {
        *p++ = sep;
        if (fitted)
            p = numbers::writeShortest(p, coefficient);
    }
    *p++ = sep;
    p = writeUtf8(p, fit.rShown());
    *p++ = sep;
    p = writeUtf8(p, fit.sShown());
    *p++ = sep;
    cell(equation, CsvColumn::Text);
    *p++ = '\n';
    line.resize(p - line.data());
}
