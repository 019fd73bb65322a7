#pragma once

// The model analysis as the command line prints it: a summary laid out like a statistics
// package's, a JSON object with fixed keys (numbers unrounded, null where a figure is
// undefined), and the flat columns the report adds.

#include "core/factors.h"
#include "core/shortest_text.h"
#include "stats/model_analysis.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <functional>

QString analysisSummary(const analysis::ModelAnalysis &analysis);
// With `units` (asked for; the record's factors or none), the answers in real units too: the
// real settings of the stationary point and the optimum (x1_real, x2_real beside x1, x2), the
// factors, and the model in real units (real_coefficients c0 ... c12); null for a record
// without factors. The JSON written straight into `out`, compact, as QJsonDocument writes it.
void writeAnalysisJson(QByteArray &out, const analysis::ModelAnalysis &analysis,
                       const std::optional<Factors> *units = nullptr);
QJsonObject analysisJson(const analysis::ModelAnalysis &analysis,
                         const std::optional<Factors> *units = nullptr);

// The report's extra columns: names, and one record's values (empty where undefined, all
// empty without an analysis), each after `separator`, written through `out`, which has room
// for AnalysisCellsRoom bytes. The coefficients' own columns are the exact fit's: estimate_b0
// ... beside se_, t_ and p_.
const QStringList &analysisColumns();
inline constexpr int AnalysisCellsRoom = 64 * (numbers::ShortestTextMax + 1);
char *writeAnalysisCells(char *out, const analysis::ModelAnalysis *analysis, char separator);

// The answers in real units, where they were asked for, as the summary and the columns say
// them.
QString realUnitsSummary(const analysis::ModelAnalysis &analysis,
                         const std::optional<Factors> &factors);
const QStringList &realUnitsColumns();
// Names and units are text, written through `textCell` as the format's cells are.
QStringList realUnitsCells(const analysis::ModelAnalysis &analysis,
                           const std::optional<Factors> &factors,
                           const std::function<QString(const QString &)> &textCell);
// {"c0": ..., "c12": ...}, null where a coefficient is absent.
QJsonObject realCoefficientsJson(const std::array<analysis::Figure, DesignTerms> &c);
