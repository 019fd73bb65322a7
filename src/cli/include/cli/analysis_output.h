#pragma once

// The model analysis as the command line prints it: a summary laid out like a statistics
// package's, a JSON object with fixed keys (numbers unrounded, null where a figure is
// undefined), and the flat columns the report adds.

#include "stats/model_analysis.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

QString analysisSummary(const analysis::ModelAnalysis &analysis);
QJsonObject analysisJson(const analysis::ModelAnalysis &analysis);

// The report's extra columns: names, and one record's values (empty where undefined).
const QStringList &analysisColumns();
QStringList analysisCells(const analysis::ModelAnalysis &analysis);
