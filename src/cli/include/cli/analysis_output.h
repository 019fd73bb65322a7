#pragma once

// The model analysis as the command line prints it: a summary laid out like a statistics
// package's, a JSON object with fixed keys (numbers unrounded, null where a figure is
// undefined), and the flat columns the report adds.

#include "core/factors.h"
#include "stats/model_analysis.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <functional>

QString analysisSummary(const analysis::ModelAnalysis &analysis);
QJsonObject analysisJson(const analysis::ModelAnalysis &analysis);

// The report's extra columns: names, and one record's values (empty where undefined, all
// empty without an analysis), each after `separator`, written through `out`, which has room
// for AnalysisCellsRoom bytes. The coefficients' own columns are the exact fit's: estimate_b0
// ... beside se_, t_ and p_.
const QStringList &analysisColumns();
inline constexpr int AnalysisCellsRoom = 64 * 33;
char *writeAnalysisCells(char *out, const analysis::ModelAnalysis *analysis, char separator);

// The answers in real units, where they were asked for: the real settings of the stationary
// point and the optimum (x1_real, x2_real beside x1, x2), the factors, and the model in real
// units (real_coefficients c0 ... c12); null (empty cells, a line saying so) for a record
// without factors.
void addRealUnits(QJsonObject &json, const analysis::ModelAnalysis &analysis,
                  const std::optional<Factors> &factors);
QString realUnitsSummary(const analysis::ModelAnalysis &analysis,
                         const std::optional<Factors> &factors);
const QStringList &realUnitsColumns();
// Names and units are text, written through `textCell` as the format's cells are.
QStringList realUnitsCells(const analysis::ModelAnalysis &analysis,
                           const std::optional<Factors> &factors,
                           const std::function<QString(const QString &)> &textCell);
// {"c0": ..., "c12": ...}, null where a coefficient is absent.
QJsonObject realCoefficientsJson(const std::array<analysis::Figure, DesignTerms> &c);
