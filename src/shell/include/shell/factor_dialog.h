#pragma once

// "因素与单位": the name, unit and real levels at coded -1 and +1 of X1 and X2 for the current
// record, and the other records (measured on the same eleven runs) to give the same
// definition in one step. It only collects them: the window checks, saves and closes it.

#include "core/checked.h"
#include "core/factors.h"

#include <QDialog>
#include <QList>

#include <optional>
#include <utility>

class QLabel;
class QLineEdit;
class QListWidget;

class FactorDialog : public QDialog
{
    Q_OBJECT

public:
    // `records`: the ID text and ID of each record it may apply to; `current` is chosen.
    FactorDialog(const std::optional<Factors> &start,
                 const QList<std::pair<QString, double>> &records, double current,
                 QWidget *parent = nullptr);

    // The definition as typed, or what is wrong with it in the window's words.
    Checked<Factors> factors() const;
    // The IDs of the chosen records, the current one among them.
    QList<double> chosenRecords() const;
    // Says what kept the definition from being saved; the typing stays.
    void showProblem(const QString &text);

    QLineEdit *name[2], *unit[2], *low[2], *high[2];
    QListWidget *records;

signals:
    // OK was pressed.
    void submitted();

private:
    QLabel *m_problem;
};

// A definition's fault as the window says it, for factor X1 or X2.
QString factorFaultWords(FactorFault fault, const QString &axis);
