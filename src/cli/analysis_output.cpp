#include "cli/analysis_output.h"

#include "core/shortest_text.h"
#include "core/text_columns.h"
#include "stats/real_units.h"
#include "units.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <charconv>

namespace {

using analysis::ModelAnalysis;
using analysis::VarianceRow;

// The shortest text that reads back as the same double.
QString number(double v)
{
    char buffer[numbers::ShortestTextMax];
    const char *end = numbers::writeShortest(buffer, v);
    return QString::fromLatin1(buffer, end - buffer);
}

QString cell(std::optional<double> v)
{
    return v ? number(*v) : QString();
}

// Six significant digits for reading, "NA" where undefined.
QString shown(std::optional<double> v)
{
    return v ? QString::number(*v, 'g', 6) : QStringLiteral("NA");
}

QJsonValue json(std::optional<double> v)
{
    return v ? QJsonValue(*v) : QJsonValue(QJsonValue::Null);
}

QString sourceName(analysis::Source source)
{
    switch (source) {
    case analysis::Source::Model:
        return QStringLiteral("Model");
    case analysis::Source::Residual:
        return QStringLiteral("Residual");
    case analysis::Source::LackOfFit:
        return QStringLiteral("Lack of fit");
    case analysis::Source::PureError:
        return QStringLiteral("Pure error");
    case analysis::Source::Total:
        return QStringLiteral("Total");
    }
    return {};
}

QString varianceLine(const QString &source, const VarianceRow &r, bool withMs, bool withF)
{
    static const QList<int> widths{14, 4, 16, 14, 12, 12};
    return textRow({source, QString::number(r.df), shown(r.ss), withMs ? shown(r.ms) : QString(),
                    withF ? shown(r.f) : QString(), withF ? shown(r.p) : QString()},
                   widths);
}

} // namespace

QString analysisSummary(const ModelAnalysis &a)
{
    QString text = QStringLiteral("Full quadratic model, 11 runs (coded units, axial distance "
                                  "1.4142)\n\nCoefficients\n");
    static const QList<int> coefficientWidths{8, 14, 14, 12, 12};
    text +=
        textRow({QStringLiteral("Term"), QStringLiteral("Estimate"), QStringLiteral("Std. error"),
                 QStringLiteral("t value"), QStringLiteral("Pr(>|t|)")},
                coefficientWidths);
    for (const analysis::Coefficient &c : a.coefficients)
        text += textRow(
            {QString::fromLatin1(c.term), shown(c.estimate), shown(c.se), shown(c.t), shown(c.p)},
            coefficientWidths);
    text += QStringLiteral("\nAnalysis of variance\n");
    text += textRow({QStringLiteral("Source"), QStringLiteral("df"),
                     QStringLiteral("Sum of squares"), QStringLiteral("Mean square"),
                     QStringLiteral("F value"), QStringLiteral("Pr(>F)")},
                    {14, 4, 16, 14, 12, 12});
    for (const analysis::VarianceLine &line : analysis::varianceLines(a))
        text +=
            varianceLine((line.part ? QStringLiteral("  ") : QString()) + sourceName(line.source),
                         *line.row, line.meanSquare, line.test);
    text +=
        QStringLiteral("\nR-squared %1, adjusted R-squared %2, predicted R-squared %3, "
                       "PRESS %4\n")
            .arg(shown(a.rSquared), shown(a.adjRSquared), shown(a.predRSquared), shown(a.press));
    text += QStringLiteral("\nStationary point and canonical analysis\n");
    text += QStringLiteral("Eigenvalues %1, %2: %3\n")
                .arg(shown(a.eigenvalues[0]), shown(a.eigenvalues[1]),
                     a.nature ? QString::fromLatin1(analysis::natureName(*a.nature))
                              : QStringLiteral("no curvature"));
    if (a.stationary)
        text += QStringLiteral("Stationary point X1 = %1, X2 = %2, predicted Y = %3 (%4 the "
                               "plotted square)\n")
                    .arg(shown(a.stationary->x1), shown(a.stationary->x2), shown(a.stationary->y),
                         a.stationaryInside ? QStringLiteral("inside") : QStringLiteral("outside"));
    else
        text += QStringLiteral("Stationary point: none\n");
    text += QStringLiteral("\nPredicted response over |X1|, |X2| <= 1.414\n");
    if (!a.maximum.x1 && a.maximum.y) // level: one value everywhere, no place of its own
        text += QStringLiteral("Level surface: %1 everywhere\n").arg(shown(a.maximum.y));
    else
        text += QStringLiteral("Maximum %1 at X1 = %2, X2 = %3\nMinimum %4 at X1 = %5, X2 = %6\n")
                    .arg(shown(a.maximum.y), shown(a.maximum.x1), shown(a.maximum.x2),
                         shown(a.minimum.y), shown(a.minimum.x1), shown(a.minimum.x2));
    return text;
}

namespace {

// Compact JSON as QJsonDocument writes it, without building its objects: the keys of every
// object in sorted order, a number as QByteArray::number(v, 'g', shortest), null for an
// absent figure; the factors' texts through QJsonDocument itself.
void jsonNumber(QByteArray &out, std::optional<double> v)
{
    if (!v) {
        out += "null";
        return;
    }
    numbers::appendWritten(out, [&](char *at) { return numbers::writeShortestAsQt(at, *v); });
}

// A key's text (with what comes before it) and its number.
void jsonField(QByteArray &out, const char *key, std::optional<double> v)
{
    out += key;
    jsonNumber(out, v);
}

// {"df":..,"ms":..,"ss":..} with F and p first when the row is tested, ss alone for the total.
void varianceJson(QByteArray &out, const VarianceRow &r, bool tested, bool meanSquare)
{
    out += '{';
    if (tested) {
        jsonField(out, "\"F\":", r.f);
        out += ',';
    }
    out += "\"df\":";
    char df[12];
    out.append(df, qsizetype(std::to_chars(df, df + sizeof df, r.df).ptr - df));
    if (meanSquare)
        jsonField(out, ",\"ms\":", r.ms);
    if (tested)
        jsonField(out, ",\"p\":", r.p);
    jsonField(out, ",\"ss\":", r.ss);
    out += '}';
}

// A place: x1, x2, y, and with units their real settings beside them; `before` writes what
// its object holds before them.
template <typename Before>
void pointJson(QByteArray &out, const analysis::Point &p, const std::optional<Factors> *units,
               Before before)
{
    const analysis::RealPoint r =
        units && *units ? analysis::realPoint(p, **units) : analysis::RealPoint();
    out += '{';
    before();
    out += "\"x1\":";
    jsonNumber(out, p.x1);
    if (units)
        jsonField(out, ",\"x1_real\":", r.x1);
    jsonField(out, ",\"x2\":", p.x2);
    if (units)
        jsonField(out, ",\"x2_real\":", r.x2);
    jsonField(out, ",\"y\":", p.y);
    out += '}';
}

} // namespace

void writeAnalysisJson(QByteArray &out, const ModelAnalysis &a, const std::optional<Factors> *units)
{
    jsonField(out, "{\"adj_r_squared\":", a.adjRSquared);
    out += ",\"anova\":{\"lack_of_fit\":";
    varianceJson(out, a.lackOfFit, true, true);
    out += ",\"model\":";
    varianceJson(out, a.model, true, true);
    out += ",\"pure_error\":";
    varianceJson(out, a.pureError, false, true);
    out += ",\"residual\":";
    varianceJson(out, a.residual, false, true);
    out += ",\"total\":";
    varianceJson(out, a.total, false, false);
    out += "},\"coefficients\":[";
    for (std::size_t i = 0; i < a.coefficients.size(); ++i) {
        const analysis::Coefficient &c = a.coefficients[i];
        out += i ? ",{\"estimate\":" : "{\"estimate\":";
        jsonNumber(out, c.estimate);
        jsonField(out, ",\"p\":", c.p);
        jsonField(out, ",\"se\":", c.se);
        jsonField(out, ",\"t\":", c.t);
        out += ",\"term\":\"";
        out += c.term;
        out += "\"}";
    }
    out += ']';
    if (units) {
        out += ",\"factors\":";
        out += *units ? QJsonDocument(factorsJson(**units)).toJson(QJsonDocument::Compact)
                      : QByteArrayLiteral("null");
    }
    const auto nothing = [] {
    };
    out += ",\"optimum\":{\"max\":";
    pointJson(out, a.maximum, units, nothing);
    out += ",\"min\":";
    pointJson(out, a.minimum, units, nothing);
    jsonField(out, "},\"pred_r_squared\":", a.predRSquared);
    jsonField(out, ",\"press\":", a.press);
    jsonField(out, ",\"r_squared\":", a.rSquared);
    if (units) {
        out += ",\"real_coefficients\":";
        out += *units ? QJsonDocument(realCoefficientsJson(analysis::realCoefficients(a, **units)))
                            .toJson(QJsonDocument::Compact)
                      : QByteArrayLiteral("null");
    }
    out += ",\"stationary_point\":";
    pointJson(out, a.stationary.value_or(analysis::Point()), units, [&] {
        out += "\"eigenvalues\":[";
        jsonNumber(out, a.eigenvalues[0]);
        out += ',';
        jsonNumber(out, a.eigenvalues[1]);
        out += "],\"inside\":";
        out += a.stationary ? (a.stationaryInside ? "true" : "false") : "null";
        out += ",\"nature\":";
        if (a.nature) {
            out += '"';
            out += analysis::natureName(*a.nature);
            out += '"';
        } else {
            out += "null";
        }
        out += ',';
    });
    out += '}';
}

QJsonObject analysisJson(const ModelAnalysis &a, const std::optional<Factors> *units)
{
    QByteArray text;
    writeAnalysisJson(text, a, units);
    return QJsonDocument::fromJson(text).object();
}

namespace {

// A sink that keeps only the columns' names.
struct ColumnNames
{
    QStringList names;
    void number(const char *name, const char *term, std::optional<double>)
    {
        names << (term ? QStringLiteral("%1_%2").arg(QLatin1String(name), QLatin1String(term))
                       : QLatin1String(name));
    }
    void place(const char *name, const char *term, std::optional<double> v)
    {
        number(name, term, v);
    }
    void text(const char *name, const char *) { number(name, nullptr, std::nullopt); }
};

// A sink that writes the cells through a pointer, each after a separator.
struct CellWriter
{
    char *p;
    char separator;
    void number(const char *, const char *, std::optional<double> v)
    {
        *p++ = separator;
        if (v)
            p = numbers::writeShortest(p, *v);
    }
    // A place on the square's edge is often one of the design's own (±1.414): a short number.
    void place(const char *, const char *, std::optional<double> v)
    {
        *p++ = separator;
        if (v)
            p = numbers::writeShortestTyped(p, *v);
    }
    void text(const char *, const char *v)
    {
        *p++ = separator;
        while (v && *v)
            *p++ = *v++;
    }
};

// The columns in their order, with their names: the one list the header and the rows follow.
template <typename Sink> void analysisRow(const ModelAnalysis *a, Sink &sink)
{
    const auto f = [&](auto member) {
        return a ? member(*a) : std::optional<double>();
    };
    for (std::size_t i = 0; i < DesignTerms; ++i) {
        const char *term = analysis::TermNames[i];
        const analysis::Coefficient *c = a ? &a->coefficients[i] : nullptr;
        sink.number("estimate", term, c ? c->estimate : std::nullopt);
        sink.number("se", term, c ? c->se : std::nullopt);
        sink.number("t", term, c ? c->t : std::nullopt);
        sink.number("p", term, c ? c->p : std::nullopt);
    }
    using M = const ModelAnalysis &;
    sink.number("model_F", nullptr, f([](M m) { return m.model.f; }));
    sink.number("model_p", nullptr, f([](M m) { return m.model.p; }));
    sink.number("lack_of_fit_F", nullptr, f([](M m) { return m.lackOfFit.f; }));
    sink.number("lack_of_fit_p", nullptr, f([](M m) { return m.lackOfFit.p; }));
    sink.number("pure_error_ms", nullptr, f([](M m) { return m.pureError.ms; }));
    sink.number("r_squared", nullptr, f([](M m) { return m.rSquared; }));
    sink.number("adj_r_squared", nullptr, f([](M m) { return m.adjRSquared; }));
    sink.number("pred_r_squared", nullptr, f([](M m) { return m.predRSquared; }));
    sink.number("press", nullptr, f([](M m) { return m.press; }));
    const analysis::Point none;
    const analysis::Point &st = a && a->stationary ? *a->stationary : none;
    sink.number("stationary_x1", nullptr, st.x1);
    sink.number("stationary_x2", nullptr, st.x2);
    sink.number("stationary_y", nullptr, st.y);
    sink.text("nature", a && a->nature ? analysis::natureName(*a->nature) : nullptr);
    sink.text("inside", a && a->stationary ? (a->stationaryInside ? "true" : "false") : nullptr);
    sink.number("eigenvalue_1", nullptr, f([](M m) { return m.eigenvalues[0]; }));
    sink.number("eigenvalue_2", nullptr, f([](M m) { return m.eigenvalues[1]; }));
    for (const auto &[name, point] :
         {std::pair{"max", a ? a->maximum : none}, std::pair{"min", a ? a->minimum : none}}) {
        sink.place(name, "x1", point.x1);
        sink.place(name, "x2", point.x2);
        sink.number(name, "y", point.y);
    }
}

} // namespace

const QStringList &analysisColumns()
{
    static const QStringList columns = [] {
        ColumnNames names;
        analysisRow(nullptr, names);
        return names.names;
    }();
    return columns;
}

char *writeAnalysisCells(char *out, const analysis::ModelAnalysis *a, char separator)
{
    CellWriter writer{out, separator};
    analysisRow(a, writer);
    return writer.p;
}

namespace {

// The places whose real settings are given, with their keys in the JSON and the columns.
struct Place
{
    const char *column;
    analysis::Point point;
};
std::array<Place, 3> places(const ModelAnalysis &a)
{
    return {{{"stationary", a.stationary.value_or(analysis::Point())},
             {"max", a.maximum},
             {"min", a.minimum}}};
}

} // namespace

QJsonObject realCoefficientsJson(const std::array<analysis::Figure, DesignTerms> &c)
{
    QJsonObject o;
    for (std::size_t i = 0; i < c.size(); ++i)
        o.insert(QLatin1String(analysis::RealCoefficientNames[i]), json(c[i]));
    return o;
}

QString realUnitsSummary(const ModelAnalysis &a, const std::optional<Factors> &f)
{
    QString text = QStringLiteral("\nReal units\n");
    if (!f)
        return text + QStringLiteral("No factors are defined for this record: coded units only.\n");
    for (const Factor *x : {&f->x1, &f->x2})
        text += QStringLiteral("%1: coded -1 = %2, +1 = %3, centre %4, step %5\n")
                    .arg(x->title(), shown(x->low), shown(x->high), shown(x->centre()),
                         shown(x->step()));
    text += analysis::realEquation(analysis::realCoefficients(a, *f), *f) + QLatin1Char('\n');
    const auto at = [&](const analysis::Point &p) {
        const analysis::RealPoint r = analysis::realPoint(p, *f);
        return QStringLiteral("%1 = %2, %3 = %4")
            .arg(f->x1.name, shown(r.x1), f->x2.name, shown(r.x2));
    };
    if (a.stationary)
        text += QStringLiteral("Stationary point at %1\n").arg(at(*a.stationary));
    if (a.maximum.x1)
        text += QStringLiteral("Maximum at %1\nMinimum at %2\n").arg(at(a.maximum), at(a.minimum));
    return text;
}

const QStringList &realUnitsColumns()
{
    static const QStringList columns = [] {
        QStringList c;
        for (const char *place : {"stationary", "max", "min"})
            c << QStringLiteral("%1_x1_real").arg(QLatin1String(place))
              << QStringLiteral("%1_x2_real").arg(QLatin1String(place));
        for (const char *x : {"x1", "x2"})
            for (const char *part : {"name", "unit", "low", "high"})
                c << QStringLiteral("%1_%2").arg(QLatin1String(x), QLatin1String(part));
        for (const char *name : analysis::RealCoefficientNames)
            c << QLatin1String(name);
        return c;
    }();
    return columns;
}

QStringList realUnitsCells(const ModelAnalysis &a, const std::optional<Factors> &f,
                           const std::function<QString(const QString &)> &textCell)
{
    if (!f)
        return QStringList(realUnitsColumns().size(), QString());
    QStringList cells;
    for (const Place &p : places(a)) {
        const analysis::RealPoint r = analysis::realPoint(p.point, *f);
        cells << cell(r.x1) << cell(r.x2);
    }
    for (const Factor *x : {&f->x1, &f->x2})
        cells << textCell(x->name) << textCell(x->unit) << number(x->low) << number(x->high);
    for (const analysis::Figure &c : analysis::realCoefficients(a, *f))
        cells << cell(c);
    return cells;
}
