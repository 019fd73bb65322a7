#pragma once

// "多响应优化": goals on several records at once (the responses measured on the same eleven
// runs), the formulation that best meets them all, updated as the goals are typed, and the
// goal map drawn in the window on request.

#include "core/checked.h"
#include "pipeline/goal_map.h"
#include "store/goal_table.h"

#include <QDialog>

#include <optional>
#include <vector>

class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;

class OptimiseDialog : public QDialog
{
    Q_OBJECT

public:
    // A record that goals can be set on.
    struct Record
    {
        double id = 0;
        QString idText, name;
        std::optional<optimise::Model> model; // none: the record has no fit
        std::optional<Factors> factors;       // its stored factors, when real units are shown
    };
    // `listedAll` false: the table has more records than are listed.
    OptimiseDialog(std::vector<Record> records, const StoredGoals &start, bool listedAll,
                   QWidget *parent = nullptr);

    // The goals of the checked records that are goals (each record's ID with its goal).
    StoredGoals goals() const;
    // The map of those goals and their optimum.
    GoalMap goalMap() const;
    // What the answer says, as shown.
    QString resultText() const;
    // Works the answer out again now (it follows typing by itself, a moment later).
    void recompute();

    QTableWidget *table;
    QPushButton *overlayButton;

signals:
    // "显示叠加图" was pressed.
    void overlayRequested();

private:
    enum Column { Use, Id, Name, Kind, Low, Target, High, Importance, Columns };
    // A record's row: its check box (on for a stored goal), ID, name and the goal's editors.
    void fillRow(int row, const optimise::Goal *saved);
    // The goal typed on a row, or the words that say what is wrong with it.
    Checked<optimise::Goal> rowGoal(int row) const;

    std::vector<Record> m_records;
    QLabel *m_result;
    QTimer *m_pending;
    optimise::Answer m_answer;
    std::vector<int> m_used; // rows of the goals the answer is for
    std::optional<Factors> m_units;
};
