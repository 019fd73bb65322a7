#pragma once

// The record change: the one path that turns a record of the table into a map, as plain
// values in one direction: the record's fields (read once) -> the designed fit -> the contour
// map -> the surface. The window copies the values into its state; the command line and the
// tests use them as they are.

#include "core/map_options.h"
#include "pipeline/color_picker.h"
#include "plot/layers.h"
#include "plot/surface.h"
#include "stats/model_analysis.h"
#include "stats/regression.h"
#include "store/record_source.h"

#include <QString>
#include <QVariant>

#include <cstdint>
#include <optional>

// What one record gives the map, each field read once. What cannot be read is left empty,
// never taken from the record before.
struct RecordFields
{
    QString id; // the number's text; null when the ID is empty or no number
    std::optional<double> idNumber;
    QString title;
    std::optional<analysis::Responses> responses;  // all eleven numbers, for the model analysis
    std::optional<regression::Responses> designed; // the same in single precision, when all fit
};
RecordFields readRecordFields(const RecordSource &record);
// The same over the fields of the record before: every member is this record's.
void readRecordFields(const RecordSource &record, RecordFields &fields);
// An ID's text as the window shows it and names maps after it: "12", "-2.5", "1E+300".
QString recordIdText(double id);

// The curve colour and the palette index it came from. Both carry over from record to
// record: an ID that cannot be read keeps the index before, an index outside the palette the
// colour before. The defaults are the start values.
struct CurveColour
{
    QVariant index = QVariant::fromValue(std::int16_t(1));
    Long colour = 255;
};
// The colour of a record's curves: with automatic colour the palette colour of its ID, else
// the picker's answer.
void settleColour(CurveColour &colour, bool autoColor, const RecordSource &record,
                  ColorPicker &picker);

// The values of one record change. `colour` comes in from the record before.
struct RecordMap
{
    RecordFields fields;
    CurveColour colour;
    regression::FitResult fit; // outcome NoResponses: the record has no fit
    // The model analysis of the responses, once the record change needed it (for the marks).
    std::optional<analysis::ModelAnalysis> analysis;
    // The record's factors when the options ask for real units and it has them.
    std::optional<Factors> factors;
};

// A record's values without its colour: fields, factors, then the designed fit of all eleven
// responses (none without them). What a report needs of a record change.
void fitRecord(const MapOptions &options, const RecordSource &record, RecordMap &map);

// The record change without drawing: the record's values and its colour.
void loadRecord(const MapOptions &options, const RecordSource &record, ColorPicker &picker,
                RecordMap &map);

// The record change: loads the record, clears the surface (unless overlaid), then draws the
// frame labels, the grid, the contours and the marks, in this order. Each step that cannot
// run for this record is left out, and the next still runs.
void drawRecord(const MapOptions &options, const RecordSource &record, Surface &surface,
                ColorPicker &picker, RecordMap &map);

// The contours of a fit; nothing when it gave no levels or coefficients, so no map is ever
// traced from another record's surface.
std::optional<plot::ContourMap> contourMap(const regression::FitResult &fit, Long colour,
                                           bool showLabels);

// The marks asked for, from the model analysis of the record's responses; with `units`, the
// stationary point and the optimum say their real settings too.
std::vector<plot::Mark> mapMarks(const MapMarks &wanted, const analysis::Responses &responses,
                                 const analysis::ModelAnalysis &analysis,
                                 const Factors *units = nullptr);

// The tick labels, axis names (in real units with `factors`) and the title (with labels on and
// overlay off: overlaid maps share one frame), over what is drawn.
void redrawLabels(const MapOptions &options, const QString &title, Surface &surface,
                  const std::optional<Factors> &factors = std::nullopt);
// The axes in real units: each tick's real setting, and "NAME (UNIT)".
plot::AxisTexts axisTexts(const Factors &factors);
// A real setting as the map and the run sheet print it: six significant digits.
QString settingText(double value);
// The grid and the border, over what is drawn.
void redrawGrid(Surface &surface);

// The file name of a record's map, "等高线图" + ID + "." + extension, or nothing when the ID cannot
// name a file of its own (empty, or not the text of a number).
std::optional<QString> mapFileName(const QString &recordId,
                                   const QString &extension = QStringLiteral("BMP"));

// The start of every saved map's name, and the file of an overlaid batch of maps.
inline const QString MapFilePrefix = QStringLiteral("等高线图");
inline const QString OverlayFileName = MapFilePrefix + QStringLiteral("重叠.BMP");
