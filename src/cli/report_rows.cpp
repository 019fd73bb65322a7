#include "cli/report_rows.h"

#include "cli/analysis_output.h"
#include "core/csv.h"
#include "core/shortest_text.h"
#include "pipeline/record_change.h"
#include "stats/model_analysis.h"
#include "stats/regression.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <span>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Texts are mostly ASCII (equations, numbers, many names), taken eight UTF-16 units at once:
// true when every one is ASCII and, if `printable`, none is a control character, DEL or a
// backslash; then they are written as eight bytes to `out`, if given. False, with nothing
// written, otherwise (and always without SSE2).
bool asciiEight([[maybe_unused]] char *out, [[maybe_unused]] const char16_t *u,
                [[maybe_unused]] bool printable)
{
#if defined(__SSE2__)
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i *>(u));
    const __m128i ascii =
        _mm_cmpeq_epi16(_mm_and_si128(units, _mm_set1_epi16(short(0xFF80))), _mm_setzero_si128());
    __m128i fine = ascii;
    if (printable) { // below 0x80 the signed comparisons are the unsigned ones
        const __m128i special =
            _mm_or_si128(_mm_cmplt_epi16(units, _mm_set1_epi16(0x20)),
                         _mm_or_si128(_mm_cmpeq_epi16(units, _mm_set1_epi16(0x7F)),
                                      _mm_cmpeq_epi16(units, _mm_set1_epi16('\\'))));
        fine = _mm_andnot_si128(special, ascii);
    }
    if (_mm_movemask_epi8(fine) != 0xFFFF)
        return false;
    if (out)
        _mm_storel_epi64(reinterpret_cast<__m128i *>(out), _mm_packus_epi16(units, units));
    return true;
#else
    return false;
#endif
}

// The shortest text that reads back as the same float or double.
template <typename Number> void appendShortest(QByteArray &out, Number v)
{
    char buffer[numbers::ShortestTextMax];
    out.append(buffer, qsizetype(numbers::writeShortest(buffer, v) - buffer));
}

// The designed fit's six coefficients in the report's column order.
std::array<float, 6> coefficientsOf(const regression::FitResult &fit)
{
    return {fit.b.b0, fit.b.b1, fit.b.b2, fit.b.b11, fit.b.b22, fit.b.b12};
}

} // namespace

char *writeUtf8(char *out, const QString &text)
{
    auto *p = reinterpret_cast<uchar *>(out);
    const auto *u = reinterpret_cast<const char16_t *>(text.utf16());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        if (n - i >= 8 && asciiEight(reinterpret_cast<char *>(p), u + i, false)) {
            p += 8;
            i += 8;
            continue;
        }
        // The next eight units one by one (a pair of surrogates may end one past them).
        for (const qsizetype end = std::min(n, i + 8); i < end; ++i) {
            char32_t c = u[i];
            if (c < 0x80) {
                *p++ = uchar(c);
                continue;
            }
            if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(u[i + 1]))
                c = QChar::surrogateToUcs4(char16_t(c), u[++i]);
            else if (QChar::isSurrogate(c))
                c = QChar::ReplacementCharacter;
            if (c < 0x800) {
                *p++ = uchar(0xC0 | (c >> 6));
            } else if (c < 0x10000) {
                *p++ = uchar(0xE0 | (c >> 12));
                *p++ = uchar(0x80 | ((c >> 6) & 0x3F));
            } else {
                *p++ = uchar(0xF0 | (c >> 18));
                *p++ = uchar(0x80 | ((c >> 12) & 0x3F));
                *p++ = uchar(0x80 | ((c >> 6) & 0x3F));
            }
            *p++ = uchar(0x80 | (c & 0x3F));
        }
    }
    return reinterpret_cast<char *>(p);
}

QString jsonString(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"':
            out += QLatin1String("\\\"");
            break;
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(int(c.unicode()), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out + QLatin1Char('"');
}

namespace {

// A backslash and what stands for `c`: the usual letters, \u for the line and paragraph
// separators, \x and two hex digits for any other control character.
char *writeEscape(char *out, char16_t c)
{
    *out++ = '\\';
    switch (c) {
    case u'\t':
        *out++ = 't';
        break;
    case u'\n':
        *out++ = 'n';
        break;
    case u'\r':
        *out++ = 'r';
        break;
    case u'\\':
        *out++ = '\\';
        break;
    case 0x2028:
    case 0x2029:
        out = std::copy_n(c == 0x2028 ? "u2028" : "u2029", 5, out);
        break;
    default: {
        static const char hex[] = "0123456789abcdef";
        *out++ = 'x';
        *out++ = hex[(c >> 4) & 0xF];
        *out++ = hex[c & 0xF];
    }
    }
    return out;
}

} // namespace

char *writeEscapedUtf8(char *out, const QString &text)
{
    const auto *u = reinterpret_cast<const char16_t *>(text.utf16());
    const qsizetype n = text.size();
    qsizetype plainFrom = 0; // the first unit not yet written
    for (qsizetype i = 0; i < n;) {
        if (n - i >= 8 && asciiEight(nullptr, u + i, true)) {
            i += 8;
            continue;
        }
        for (const qsizetype end = std::min(n, i + 8); i < end; ++i) {
            const char16_t c = u[i];
            if (c >= 0x20 && (c < 0x7F || c > 0x9F) && c != u'\\' && c != 0x2028 && c != 0x2029)
                continue;
            if (i > plainFrom)
                out = writeUtf8(out, text.mid(plainFrom, i - plainFrom));
            plainFrom = i + 1;
            out = writeEscape(out, c);
        }
    }
    if (plainFrom == 0)
        return writeUtf8(out, text);
    return n > plainFrom ? writeUtf8(out, text.mid(plainFrom)) : out;
}

char *writeUtf8(char *out, QLatin1StringView text)
{
    // ASCII eight bytes at a time, as it is.
    const char *in = text.data();
    const char *const end = in + text.size();
    for (std::uint64_t eight = 0; end - in >= 8; in += 8, out += 8) {
        std::memcpy(&eight, in, 8);
        if (eight & 0x8080808080808080u)
            break;
        std::memcpy(out, &eight, 8);
    }
    for (const char c : QLatin1StringView(in, end)) {
        const auto u = uchar(c);
        if (u < 0x80) {
            *out++ = c;
        } else {
            *out++ = char(0xC0 | (u >> 6));
            *out++ = char(0x80 | (u & 0x3F));
        }
    }
    return out;
}

char *writeEscapedUtf8(char *out, QLatin1StringView text)
{
    // The fit's texts are printable ASCII: copied as they are; anything else as a QString is.
    for (const char c : text)
        if (uchar(c) < 0x20 || uchar(c) >= 0x7F || c == '\\')
            return writeEscapedUtf8(out, QString(text));
    return std::copy(text.begin(), text.end(), out);
}

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
        QJsonArray values;
        for (int run = 1; run <= DesignRuns; ++run) {
            const auto v = row.cells[std::size_t(run)].field().asNumber();
            values << (v ? QJsonValue(*v) : QJsonValue());
        }
        m_line += ", \"responses\": " + QJsonDocument(values).toJson(QJsonDocument::Compact);
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
