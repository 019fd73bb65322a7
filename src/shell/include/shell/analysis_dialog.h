#pragma once

// The model analysis of the current record in the window's words: a dialog that stays open
// beside the window, follows the record change, and copies its tables as text.

#include "core/factors.h"
#include "stats/model_analysis.h"

#include <QDialog>

#include <optional>

class QTextBrowser;

class AnalysisDialog : public QDialog
{
    Q_OBJECT
public:
    explicit AnalysisDialog(QWidget *parent = nullptr);
    // Shows a record's model analysis, or (none) says its eleven responses are not all there.
    // With `units`, the answers in the record's real units too.
    void showRecord(const QString &recordId, const analysis::ModelAnalysis *analysis,
                    const Factors *units = nullptr);
    QString text() const;

private:
    QTextBrowser *m_text; // the tables as a page: columns line up whatever the fonts
    QString m_plain;      // the same as text, for copying
};

// The tables in Chinese: 回归系数, 方差分析 with 失拟 and 纯误差, the fit statistics, 驻点 and the
// canonical analysis, the optimum over the plotted square. "—" where a figure is undefined.
QString analysisText(const analysis::ModelAnalysis &analysis, const Factors *units = nullptr);

// Where a dialog of `dialog`'s size stands beside `window` on `screen`: to its right, else to
// its left, else at the screen's right edge; level with the window's top where it fits.
QPoint besideWindow(const QRect &window, const QSize &dialog, const QRect &screen);
