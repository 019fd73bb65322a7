#pragma once

// "试验方案": the run sheet of the current record's factors, to copy, save as CSV, print or
// save as PDF. A random run order shows its seed, so the same sheet can be made again.

#include "core/factors.h"
#include "pipeline/run_sheet.h"

#include <QDialog>

class Dialogs;
class QCheckBox;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

class RunSheetDialog : public QDialog
{
    Q_OBJECT

public:
    RunSheetDialog(const QString &recordId, const Factors &factors, Dialogs &dialogs,
                   const QString &folder, QWidget *parent = nullptr);

    // The sheet as shown: standard order, or the order drawn from the seed.
    RunSheet sheet() const;
    void copy();
    void saveCsv();
    void savePdf();
    void print();

    QCheckBox *randomise;
    QSpinBox *seed;
    QPlainTextEdit *text;
    QPushButton *copyButton, *csvButton, *pdfButton, *printButton;

private:
    void refresh();
    // Asks for a file (the suggested name beside the program) and writes it whole or not at
    // all, saying why when it could not.
    void saveAs(const QString &title, const QString &suffix, const QString &filter,
                const QByteArray &bytes);
    // The sheet as a printable document.
    QString html() const;

    QString m_recordId;
    Factors m_factors;
    Dialogs &m_dialogs;
    QString m_folder;
};
