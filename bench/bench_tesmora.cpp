// Timings of the record pipeline: the fit, the contours, a whole record change, bitmap writing,
// and the command line's report and batch render on generated tables.

#include "cli/cli.h"
#include "pipeline/bitmap.h"
#include "pipeline/record_change.h"
#include "plot/layers.h"
#include "plot/raster_surface.h"
#include "shell/form1.h"
#include "shell/form_defaults.h"
#include "shell/record_state.h"
#include "stats/multi_optimum.h"
#include "stats/regression.h"
#include "store/experiment_table.h"
#include "store/sample_db.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <unistd.h>

namespace {

constexpr int ScreenPixels = 273; // 4095 twips at 96 dpi

QTemporaryDir &workDir()
{
    static QTemporaryDir dir;
    return dir;
}

// A generated table of `records` series, made once per run.
QString table(int records)
{
    const QString path = workDir().filePath(QStringLiteral("bench-%1.mdb").arg(records));
    if (!QFile::exists(path)) {
        if (!sample_db::writeGenerated(path, records, 42))
            qFatal("cannot generate %s", qPrintable(path));
    }
    return path;
}

// The window's state as start-up leaves it: colour and labels on.
FormState startedState(int lines = 4)
{
    FormState s;
    initializeFormState(s, workDir().path());
    s.AutoColor = true;
    s.ShowLabels = true;
    s.LineCount = float(lines);
    return s;
}

MemoryRecord hardness()
{
    const double y[11] = {12.1, 13.4, 11.8, 14.2, 13.9, 11.5, 13.0, 12.2, 15.1, 14.8, 15.3};
    MemoryRecord r;
    r.set(QStringLiteral("ID"), 12.0);
    for (int i = 0; i < 11; ++i)
        r.set(responseField(i + 1), y[i]);
    r.set(QStringLiteral("Y12"), QStringLiteral("硬度"));
    return r;
}

void BM_FitRegression(benchmark::State &state)
{
    FormState s = startedState();
    const float y[11] = {12.1f, 13.4f, 11.8f, 14.2f, 13.9f, 11.5f,
                         13.0f, 12.2f, 15.1f, 14.8f, 15.3f};
    for (int i = 0; i < 11; ++i)
        s.Response[std::size_t(i)] = y[i];
    for (auto _ : state) {
        FitRegression(s);
        benchmark::DoNotOptimize(s.B0);
    }
}
BENCHMARK(BM_FitRegression);

// One multi-response optimisation of eight goals on the sample series (goal 50 ms).
void BM_Optimise8Goals(benchmark::State &state)
{
    using optimise::GoalKind;
    const analysis::Responses series[8] = {
        {12.1, 13.4, 11.8, 14.2, 13.9, 11.5, 13.0, 12.2, 15.1, 14.8, 15.3},
        {2.5, 3.1, 1.9, 2.8, 3.3, 2.0, 2.6, 2.2, 3.6, 3.5, 3.7},
        {78.2, 84.5, 80.1, 88.9, 87.4, 76.3, 85.2, 79.8, 90.6, 91.2, 89.8},
        {41.0, 38.5, 45.2, 43.9, 40.1, 42.7, 46.8, 39.4, 47.5, 48.1, 47.0},
        {6.8, 7.4, 7.1, 8.2, 7.9, 6.5, 7.6, 6.9, 8.8, 8.6, 8.9},
        {132, 118, 141, 125, 120, 138, 136, 122, 112, 115, 110},
        {0.82, 0.91, 0.78, 0.95, 0.93, 0.76, 0.88, 0.80, 0.99, 0.97, 1.01},
        {23.4, 25.1, 24.0, 27.3, 26.2, 22.8, 25.9, 23.7, 28.4, 28.0, 28.9}};
    const optimise::Goal goals[8] = {{GoalKind::Max, 13, 15},       {GoalKind::Target, 3, 3.8, 3.4},
                                     {GoalKind::Max, 85, 92},       {GoalKind::Max, 40, 48},
                                     {GoalKind::Target, 7, 9, 7.8}, {GoalKind::Min, 110, 130},
                                     {GoalKind::Max, 0.8, 1},       {GoalKind::Range, 24, 29}};
    std::vector<optimise::Response> responses;
    for (int i = 0; i < 8; ++i)
        responses.push_back({goals[i], *optimise::fittedModel(series[i])});
    for (auto _ : state)
        benchmark::DoNotOptimize(optimise::optimiseGoals(responses).D);
}
BENCHMARK(BM_Optimise8Goals)->Unit(benchmark::kMillisecond);

void BM_DrawContours(benchmark::State &state)
{
    FormState s = startedState(int(state.range(0)));
    RasterSurface surface(ScreenPixels);
    FixedColorPicker picker(0);
    RecordMap m;
    LoadCurrentRecord(s, m, hardness(), surface, picker);
    surface.FontSize = 7;
    const plot::ContourMap map = *contourMap(m.fit, m.colour.colour, s.ShowLabels);
    for (auto _ : state)
        benchmark::DoNotOptimize(plot::DrawContours(map, surface));
}
BENCHMARK(BM_DrawContours)->Arg(4)->Arg(10);

void BM_RecordChange(benchmark::State &state)
{
    FormState s = startedState(10);
    RasterSurface surface(int(state.range(0)));
    FixedColorPicker picker(0);
    const MemoryRecord record = hardness();
    RecordMap m;
    for (auto _ : state)
        LoadCurrentRecord(s, m, record, surface, picker);
}
BENCHMARK(BM_RecordChange)->Arg(ScreenPixels)->Arg(1024)->Unit(benchmark::kMicrosecond);

void BM_WriteBitmap512(benchmark::State &state)
{
    FormState s = startedState();
    RasterSurface surface(512);
    FixedColorPicker picker(0);
    RecordMap m;
    LoadCurrentRecord(s, m, hardness(), surface, picker);
    const QString path = workDir().filePath(QStringLiteral("bench.BMP"));
    for (auto _ : state) {
        if (!saveBitmap(surface.Image(), path))
            state.SkipWithError("cannot write the bitmap");
    }
}
BENCHMARK(BM_WriteBitmap512)->Unit(benchmark::kMicrosecond);

void BM_CliReport100k(benchmark::State &state)
{
    const QString db = table(100000);
    for (auto _ : state) {
        CliStreams io{std::fopen("/dev/null", "w"), stderr};
        const int code =
            runCli({QStringLiteral("report"), QStringLiteral("--db"), db}, workDir().path(), io);
        std::fclose(io.out);
        if (code != 0)
            state.SkipWithError("report failed");
    }
}
BENCHMARK(BM_CliReport100k)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_CliRenderAll200(benchmark::State &state)
{
    const QString db = table(200);
    const QString out = workDir().filePath(QStringLiteral("maps"));
    QDir().mkpath(out);
    for (auto _ : state) {
        CliStreams io{stdout, std::fopen("/dev/null", "w")};
        const int code =
            runCli({QStringLiteral("render"), QStringLiteral("--db"), db, QStringLiteral("--all"),
                    QStringLiteral("--out"), out, QStringLiteral("--size"), QStringLiteral("512"),
                    QStringLiteral("--format"),
                    state.range(0) ? QStringLiteral("svg") : QStringLiteral("bmp")},
                   workDir().path(), io);
        std::fclose(io.err);
        if (code != 0)
            state.SkipWithError("render failed");
    }
    state.counters["per_map"] =
        benchmark::Counter(200.0 * double(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
// 0: bitmaps; 1: SVG figures, the contours traced as lines.
BENCHMARK(BM_CliRenderAll200)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

long residentKiB()
{
    long pages = 0, resident = 0;
    if (std::FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// 10,000 record changes with overlay on, on the on-screen surface: memory must not grow.
void BM_OverlayRecordChanges(benchmark::State &state)
{
    FormState s = startedState(10);
    s.Overlay = true;
    RasterSurface surface(ScreenPixels);
    FixedColorPicker picker(0);
    MemoryRecord record = hardness();
    RecordMap m;
    long before = 0, after = 0;
    for (auto _ : state) {
        for (int i = 0; i < 10000; ++i) {
            record.set(QStringLiteral("ID"), double(i % 16));
            record.set(QStringLiteral("Y12"), QStringLiteral("series %1").arg(i));
            LoadCurrentRecord(s, m, record, surface, picker);
            if (i == 1000)
                before = residentKiB();
        }
        after = residentKiB();
    }
    state.counters["rss_growth_KiB"] = double(after - before);
}
BENCHMARK(BM_OverlayRecordChanges)->Unit(benchmark::kMillisecond)->Iterations(1);

// Start-up of the window to its first map, on a table of 10 or 100,000 records: the same time
// whatever the table's size, since only the first page of records is read.
void BM_WindowStartup(benchmark::State &state)
{
    const int records = int(state.range(0));
    const QString folder = workDir().filePath(QStringLiteral("app-%1").arg(records));
    QDir().mkpath(folder);
    const QString db = folder + QStringLiteral("/配方数据.mdb");
    if (!QFile::exists(db)) {
        if (!sample_db::writeGenerated(db, records, 42))
            state.SkipWithError("cannot generate the table");
    }
    FixedColorPicker picker(0);
    for (auto _ : state) {
        Form1Options options;
        options.appPath = folder;
        options.picker = &picker;
        Form1 form(options);
        form.Form_Load();
        benchmark::DoNotOptimize(form.state().Text2);
    }
}
BENCHMARK(BM_WindowStartup)->Arg(10)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
