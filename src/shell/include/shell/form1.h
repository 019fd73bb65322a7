#pragma once

// The main window: the map on the left, the experiment table on the right, the results along
// the bottom left, options and commands at the bottom right. Positions are in twips, converted
// at the screen's logical DPI; nothing is re-laid out when the window changes size.

#include "core/form_state.h"
#include "pipeline/record_change.h"
#include "plot/raster_surface.h"
#include "shell/analysis_dialog.h"
#include "shell/controls.h"
#include "shell/dialogs.h"
#include "shell/experiment_grid.h"
#include "shell/factor_dialog.h"
#include "shell/navigator.h"
#include "shell/optimise_dialog.h"
#include "store/experiment_table.h"

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLockFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QWidget>

#include <memory>

struct Form1Options
{
    QString appPath;               // the program folder
    QString lockPath;              // the single-instance lock; empty: no check
    Dialogs *dialogs = nullptr;    // message boxes; nullptr: real ones
    ColorPicker *picker = nullptr; // colour picker; nullptr: the real one
    QString importTool;            // tesmora-cli, which converts Access files; empty: beside us
};

class QTimer;

class Form1 : public QWidget
{
    Q_OBJECT
public:
    explicit Form1(Form1Options options, QWidget *parent = nullptr);
    ~Form1() override;

    // Start-up; false when another instance runs and this one must end without a window.
    bool Form_Load();
    // Creates an empty database where none is (on the user's request only), and opens it.
    void createDatabase();
    // Converts an Access file the user picks into the database where none is, and opens it.
    void importAccessDatabase();
    // Opens the table beside the program and shows its first record, or says why not.
    void openTable();

    // Handlers, named after the control and the notification.
    void Check1_Click();
    void Check2_Click();
    void Check3_Click();
    void UpDown1_Change();
    void Command1_Click();
    void Command2_Click();
    void Image1_Click();
    void Picture1_Click();
    void Data1_Reposition();

    // Ends at once (SIGTERM): whatever is typed or waiting is written if it can be, no question.
    void terminate();

    // Record navigation, as the navigator and the grid move.
    int currentRecord() const { return m_current; }
    void moveTo(int position);

    // Opens (or raises) the model analysis of the current record, beside the window.
    void showAnalysis();
    // The current record's factors in real units ("因素与单位…"), given to chosen records at
    // once; the answers in real units from the next record change on ("以实际单位显示"); the
    // run sheet of the current record's factors ("试验方案…").
    void editFactors();
    // "多响应优化…": goals on the records, the best formulation, the goal map on request.
    void showOptimise();
    OptimiseDialog *optimiseDialog() const { return m_optimise; }
    void setRealUnits(bool on);
    void showRunSheet();
    // The map to the clipboard as an image, and to a file in a format the user picks.
    void copyMap();
    void exportMap();

    FormState &state() { return m_state; }
    AnalysisDialog *analysisDialog() const { return m_analysis; }
    ExperimentTable &table() { return m_table; }
    ExperimentModel &model() { return *m_model; }
    RasterSurface &surface() { return Picture1->surface(); }

    // Twips at this screen's logical DPI.
    int twips(int value) const;

    SurfaceView *Picture1;
    FrameImage *Image1;
    QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6, *Label7;
    QWidget *DBGrid1;
    ExperimentGrid *grid;
    Navigator *Data1;
    QGroupBox *Frame1;
    QCheckBox *Check1, *Check2, *Check3;
    QLineEdit *Text1, *Text2, *Text3, *Text4;
    UpDown *UpDown1;
    QPushButton *Command1, *Command2;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void buildMapArea();
    void buildGridArea();
    void buildCommands();
    void buildResults();
    void connectControls();
    void connectNavigator();
    void place(QWidget *widget, int left, int top, int width, int height);
    void showResults();
    void showHelp();
    void onGridRowChanged(int row);
    void deleteRows(const QList<int> &rows);
    // Writes pending grid edits; false when the user chose to stay because some could not be.
    bool settleEdits();
    void closeTable();
    // The database beside the program is an old Access file: offered once a start to be
    // converted (the original kept under another name), else shown read-only from a copy.
    void openAccessFile(const QString &path);
    // Converts an Access file into a new SQLite file through the command line, in a process of
    // its own (a hostile file cannot crash or hang the window).
    Result<void> convertAccess(const QString &accessPath, const QString &sqlitePath);
    // What to do with a conversion: put it in place (it has, or now got, an experiment
    // table), choose another file, or nothing.
    enum class TableAnswer { Import, AnotherFile, Cancel };
    // Converts `source` and, when wanted, puts the conversion at `target` (an existing file
    // there kept as `backup`).
    Result<TableAnswer> convertInto(const QString &source, const QString &target,
                                    const QString &backup);
    Result<void> placeConversion(const QString &converted, const QString &target,
                                 const QString &backup);
    // A conversion without the experiment table: asked whether to add an empty one (the
    // file's own tables kept), to choose another file, or to leave it.
    Result<TableAnswer> settleExperimentTable(const QString &source, const QString &converted);
    void showTable(const QString &readOnlyReason);
    // Loads and draws the current record as a record change does.
    void loadCurrent(ColorPicker &picker);
    // The current record drawn again after one of its cells reached the file.
    void redrawCurrent();
    // Tries the grid's unwritten edits again and says whether they landed.
    void retryPendingWrites();
    // The context menu of the map and the equation box: the model analysis and the marks.
    void showAnalysisMenu(QWidget *widget, const QPoint &at);
    void updateAnalysis();
    // The stored factor definitions read again (none, said so, when they cannot be read).
    void reloadDefinitions();
    void saveFactors(FactorDialog &dialog);
    // The dialog's goal map in the map area, the goals kept in the database.
    void showGoalMap();
    void keepGoals();

    Form1Options m_options;
    FormState m_state;
    RecordMap m_record; // the current record change's values
    OptimiseDialog *m_optimise = nullptr;
    std::optional<GoalMap> m_goalMap; // drawn in the map area until the next record change
    // What the map area shows as the records drawn in turn (more than one when overlaid), so
    // an export draws it again at any size and as lines.
    struct MapLayer
    {
        MemoryRecord record;
        MapOptions options;
        CurveColour colour;
        std::optional<Factors> factors; // what its real axes were drawn from
    };
    std::vector<MapLayer> m_layers;
    // More maps overlaid than are kept to draw again: the export has only the screen's pixels.
    bool m_layersLost = false;
    static constexpr std::size_t MaxLayers = 1000;
    void keepLayer();
    // Draws what the map area shows onto another surface.
    void drawShown(Surface &surface) const;
    std::optional<MapSize> m_exportSize; // the size chosen for the last export
    ExperimentTable m_table;
    ExperimentModel *m_model;
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<MessageBoxDialogs> m_ownDialogs;
    std::unique_ptr<DialogColorPicker> m_ownPicker;
    Dialogs *m_dialogs;
    ColorPicker *m_picker;
    int m_current = -1;
    bool m_loading = false; // a record change is under way
    QTimer *m_retry;        // tries unwritten edits again while there are any
    bool m_closed = false;
    QString m_pendingWarning; // the reason last shown for unwritten edits
    AnalysisDialog *m_analysis = nullptr;
    bool m_accessOffered = false;                // the conversion is offered once a start
    std::unique_ptr<QTemporaryDir> m_accessCopy; // a read-only conversion of an Access file
};

// The window's caption.
inline const QString Form1Caption = QStringLiteral("Tesmora(两变量中心复合旋转设计)");
