#pragma once

// The report's rows, the hot path that BENCHMARKS.md measures: streamed records, a batch at a
// time, through the record loading and the fit (and the analysis), then written as lines of
// text, CSV or JSON into a buffer that the caller writes out when it holds WriteBytes or more.
// Text cells are escaped so that a row stays one line and a spreadsheet never runs a cell as a
// formula.

#include "cli/cell_text.h"
#include "core/csv.h"
#include "core/factors.h"
#include "pipeline/record_change.h"
#include "stats/model_analysis.h"
#include "store/stream_reader.h"

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <vector>

// What a report row holds beyond the fit the window shows.
struct ReportExtras
{
    bool responses = false; // Y1 ... Y11 as read
    bool analysis = false;  // the model analysis of the eleven responses
    // The analysis in real units too, each record in its factors (when it has them).
    std::optional<UnitsChoice> units;
};

class ReportRows
{
public:
    using Extras = ReportExtras;
    // `format`: text, csv or json.
    ReportRows(const QString &format, int lines, std::FILE *out, Extras extras = {});
    // The header line of a text or CSV report.
    static QString header(QChar separator, Extras extras);
    // Rows are written out in pieces of about this size.
    static constexpr qsizetype WriteBytes = 1 << 16;
    // Makes the rows of the records waiting and writes every row made; false once any write
    // failed.
    bool flush();
    // One record's row, made at the latest by flush(); `first` for the first row of a JSON
    // array.
    void add(const std::vector<StreamCell> &cells, bool first);
    // The bytes of rows made and not yet written.
    qsizetype held() const { return m_line.size(); }
    bool failed() const { return m_failed; }

private:
    // Records wait in batches of this many; their rows are made by flush() or when it is full.
    static constexpr int Batch = 128;
    struct Row
    {
        std::vector<StreamCell> cells;
        bool first = false;
        RecordMap record; // with the analysis when asked for and computable
    };
    // The rows of the waiting records, in their order.
    void makeRows();
    // A record's row: a JSON object, or a line of text or CSV.
    void addJsonRow(const Row &row);
    void addTableRow(const Row &row);
    // A record's extras, after the row's own cells.
    void addExtras(const Row &row);
    void addJsonExtras(const Row &row);

    MapOptions m_options;
    std::vector<Row> m_rows = std::vector<Row>(Batch);
    int m_count = 0; // records waiting
    bool m_json;
    bool m_csv;
    Extras m_extras;
    std::FILE *m_out;
    QByteArray m_line; // rows not yet written
    bool m_failed = false;
};
