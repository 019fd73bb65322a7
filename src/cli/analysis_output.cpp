#include "cli/analysis_output.h"

#include "core/text_columns.h"
#include "stats/real_units.h"
#include "units.h"

#include <QJsonArray>

#include <charconv>

namespace {

using analysis::ModelAnalysis;
using analysis::VarianceRow;

// The shortest text that reads back as the same double.
QString number(double v)
{
    char buffer[40];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
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

QJsonObject point(const analysis::Point &p)
{
    return {{QStringLiteral("x1"), json(p.x1)},
            {QStringLiteral("x2"), json(p.x2)},
            {QStringLiteral("y"), json(p.y)}};
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

QJsonObject analysisJson(const ModelAnalysis &a)
{
    QJsonArray coefficients;
    for (const analysis::Coefficient &c : a.coefficients)
        coefficients << QJsonObject{{QStringLiteral("term"), QString::fromLatin1(c.term)},
                                    {QStringLiteral("estimate"), json(c.estimate)},
                                    {QStringLiteral("se"), json(c.se)},
                                    {QStringLiteral("t"), json(c.t)},
                                    {QStringLiteral("p"), json(c.p)}};
    const auto full = [](const VarianceRow &r) {
        return QJsonObject{{QStringLiteral("df"), r.df},
                           {QStringLiteral("ss"), json(r.ss)},
                           {QStringLiteral("ms"), json(r.ms)},
                           {QStringLiteral("F"), json(r.f)},
                           {QStringLiteral("p"), json(r.p)}};
    };
    const auto plain = [](const VarianceRow &r) {
        return QJsonObject{{QStringLiteral("df"), r.df},
                           {QStringLiteral("ss"), json(r.ss)},
                           {QStringLiteral("ms"), json(r.ms)}};
    };
    QJsonObject stationary{
        {QStringLiteral("x1"), json(a.stationary ? a.stationary->x1 : std::nullopt)},
        {QStringLiteral("x2"), json(a.stationary ? a.stationary->x2 : std::nullopt)},
        {QStringLiteral("y"), json(a.stationary ? a.stationary->y : std::nullopt)},
        {QStringLiteral("nature"),
         a.nature ? QJsonValue(QString::fromLatin1(analysis::natureName(*a.nature)))
                  : QJsonValue()},
        {QStringLiteral("inside"), a.stationary ? QJsonValue(a.stationaryInside) : QJsonValue()},
        {QStringLiteral("eigenvalues"),
         QJsonArray{json(a.eigenvalues[0]), json(a.eigenvalues[1])}}};
    return {{QStringLiteral("coefficients"), coefficients},
            {QStringLiteral("anova"),
             QJsonObject{
                 {QStringLiteral("model"), full(a.model)},
                 {QStringLiteral("residual"), plain(a.residual)},
                 {QStringLiteral("lack_of_fit"), full(a.lackOfFit)},
                 {QStringLiteral("pure_error"), plain(a.pureError)},
                 {QStringLiteral("total"), QJsonObject{{QStringLiteral("df"), a.total.df},
                                                       {QStringLiteral("ss"), json(a.total.ss)}}}}},
            {QStringLiteral("r_squared"), json(a.rSquared)},
            {QStringLiteral("adj_r_squared"), json(a.adjRSquared)},
            {QStringLiteral("pred_r_squared"), json(a.predRSquared)},
            {QStringLiteral("press"), json(a.press)},
            {QStringLiteral("stationary_point"), stationary},
            {QStringLiteral("optimum"), QJsonObject{{QStringLiteral("max"), point(a.maximum)},
                                                    {QStringLiteral("min"), point(a.minimum)}}}};
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
            p = std::to_chars(p, p + 32, *v).ptr;
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
        sink.number(name, "x1", point.x1);
        sink.number(name, "x2", point.x2);
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

void addRealUnits(QJsonObject &json, const ModelAnalysis &a, const std::optional<Factors> &f)
{
    const auto withReal = [&](QJsonObject o, const analysis::Point &p) {
        const analysis::RealPoint r = f ? analysis::realPoint(p, *f) : analysis::RealPoint();
        o.insert(QStringLiteral("x1_real"), ::json(r.x1));
        o.insert(QStringLiteral("x2_real"), ::json(r.x2));
        return o;
    };
    const auto place = places(a);
    json.insert(QStringLiteral("stationary_point"),
                withReal(json[QStringLiteral("stationary_point")].toObject(), place[0].point));
    QJsonObject optimum = json[QStringLiteral("optimum")].toObject();
    optimum.insert(QStringLiteral("max"),
                   withReal(optimum[QStringLiteral("max")].toObject(), place[1].point));
    optimum.insert(QStringLiteral("min"),
                   withReal(optimum[QStringLiteral("min")].toObject(), place[2].point));
    json.insert(QStringLiteral("optimum"), optimum);
    json.insert(QStringLiteral("factors"), f ? QJsonValue(factorsJson(*f)) : QJsonValue());
    json.insert(QStringLiteral("real_coefficients"),
                f ? QJsonValue(realCoefficientsJson(analysis::realCoefficients(a, *f)))
                  : QJsonValue());
}

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
