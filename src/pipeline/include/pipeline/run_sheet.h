#pragma once

// The run sheet for the lab: the eleven runs of the design in their standard order (run k's
// response is stored in Yk), each with the order to run it in, its coded place and the real
// settings of the two factors, and a column for the measured response.

#include "core/factors.h"

#include <QString>

#include <array>
#include <optional>

struct RunSheetRow
{
    int run = 0;   // 1 ... 11, the response's field Y<run>
    int order = 0; // when to run it, 1 ... 11
    double x1Coded = 0, x2Coded = 0;
    double x1 = 0, x2 = 0; // real settings
};
using RunSheet = std::array<RunSheetRow, DesignRuns>;

// The sheet in standard run order; the run order is the standard one, or randomised by `seed`.
RunSheet runSheet(const Factors &factors, std::optional<unsigned> seed);

// "run,order,X1,X2,NAME1 (UNIT1),NAME2 (UNIT2),response", a row a run in standard order, the
// response empty for the lab; settings to 12 significant digits.
QString runSheetCsv(const Factors &factors, const RunSheet &sheet);
// A table to print, in run order, settings to six significant digits, a line to write each
// response on. The headings of the order, run and response columns are given by the caller.
struct RunSheetHeadings
{
    QString order = QStringLiteral("Order"), run = QStringLiteral("Run"),
            response = QStringLiteral("Response");
};
QString runSheetText(const Factors &factors, const RunSheet &sheet,
                     const RunSheetHeadings &headings = {});
