#pragma once

// The record change: the one path that turns a record of the table into a map. The window,
// the command line and the tests all run exactly this code.

#include "analysis/record_source.h"
#include "analysis/regression.h"
#include "plot/surface.h"

#include <optional>
#include "shell/form_state.h"

// Asks the user for a curve colour (the common dialog's ShowColor, then Color). Cancel keeps
// the colour last chosen, so the picker always answers with a colour.
class ColorPicker
{
public:
    virtual ~ColorPicker();
    virtual Long ShowColor() = 0;
};

// A picker that answers without asking: the command line's fixed colour, and tests.
class FixedColorPicker : public ColorPicker
{
public:
    explicit FixedColorPicker(Long colour)
        : m_colour(colour)
    {
    }
    Long ShowColor() override
    {
        ++m_shown;
        return m_colour;
    }
    int timesShown() const { return m_shown; }

private:
    Long m_colour;
    int m_shown = 0;
};

// Form_Load's defaults: program folder, geometry, line count, colour, record identity, the
// design matrix and constants. The options stay as they are.
void InitializeFormState(FormState &state, const QString &appPath);

// The state as start-up leaves it before the first record: defaults, and the colour and labels
// options on.
FormState StartedFormState(const QString &appPath, int lineCount = 4);

// The program folder with exactly one "/" at its end.
QString AppFolderFrom(const QString &appPath);

// The palette colour of an index 0 ... 15, 0x00BBGGRR.
Long PaletteColor(int index);

// Copies the current record into the state and redraws the map: identifier, clearing (unless
// overlaid), colour, responses, title, then labels, grid, fit and contours. Each step is
// guarded on its own and the next step still runs; what this record cannot give is left
// empty, never taken from the record before.
void LoadCurrentRecord(FormState &state, const RecordSource &record, Surface &surface,
                       ColorPicker &picker);

// Steps 1 to 5 of the record change without drawing: identifier, colour, responses, title.
// False when a response could not be read: that record has no fit. The command line's report
// runs this and FitLoadedRecord alone.
bool LoadRecordFields(FormState &state, const RecordSource &record, ColorPicker &picker);

// The fit of the record just loaded; without all eleven responses there is none (empty result
// boxes, nothing to trace).
regression::FitReport FitLoadedRecord(FormState &state, bool responsesRead);

// The file name of a record's map, "等高线图" + ID + ".BMP", or nothing when the ID cannot name
// a file of its own (empty, or not the text of a number).
std::optional<QString> MapFileName(const QString &recordId);

// The file of an overlaid batch of maps.
inline const QString OverlayFileName = QStringLiteral("等高线图重叠.BMP");

// Where the save button writes the current map: the program folder and MapFileName.
std::optional<QString> SaveFileName(const FormState &state);
