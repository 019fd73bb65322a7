#!/usr/bin/env bash
# Does the same work with Tesmora, R and numpy/matplotlib in one run and prints the ratios.
#   maps:     fit, labels, grid, contours and a bitmap on disk for each of 200 series at 512 px
#   report:   one row per series of a 100,000-series table
#   analysis: the analysis report as CSV (report --analysis --responses --format csv) against
#             vectorised R (RSQLite, data.table) and numpy/scipy, from 1,000 to 1,000,000 series
# scripts/compare_peers.sh [analysis]   (with "analysis", only that part)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh >/dev/null

peers=(r-base-core r-cran-rsqlite r-cran-data.table python3-numpy python3-scipy python3-matplotlib
       sqlite3 time)
missing=()
for p in "${peers[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing the peers: ${missing[*]}" >&2
    sudo_=""; [ "$(id -u)" -ne 0 ] && sudo_=sudo
    $sudo_ apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo_ apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cli=build/tesmora-cli
py=/usr/bin/python3
only=${1:-all}
if [ "$only" = all ]; then
$cli sample --out "$work/t200.mdb" --records 200 --seed 3
$cli sample --out "$work/t20.mdb" --records 20 --seed 3
$cli sample --out "$work/t100k.mdb" --records 100000 --seed 3
$cli sample --out "$work/t10k.mdb" --records 10000 --seed 3
$cli sample --out "$work/t10.mdb" --records 10 --seed 3
$py - "$work" <<'PY'
import csv, sqlite3, sys
w = sys.argv[1]
rows = sqlite3.connect(f"{w}/t200.mdb").execute(
    'SELECT ID,Y1,Y2,Y3,Y4,Y5,Y6,Y7,Y8,Y9,Y10,Y11,Y12 FROM "等高线表" ORDER BY rowid').fetchall()
with open(f"{w}/t200.csv", "w", encoding="utf-8", newline="") as f:
    out = csv.writer(f)
    out.writerow(["ID"] + [f"Y{i}" for i in range(1, 13)])
    out.writerows(rows)
PY
mkdir -p "$work/ours" "$work/ours20" "$work/r" "$work/mpl"

seconds() { $py -c 'import time; print(time.perf_counter())'; }
best_of() { # best wall time of five runs of a command, in seconds
    local best=""
    for _ in 1 2 3 4 5; do
        local t0 t1
        t0=$(date +%s.%N); "$@" >/dev/null 2>&1; t1=$(date +%s.%N)
        best=$($py -c "b='$best'; t=$t1-$t0; print(t if b=='' else min(float(b), t))")
    done
    echo "$best"
}

# Maps. Ours: whole processes, 200 maps minus 20 maps, so start-up is not counted per map;
# the peers time their own loops (start-up and imports excluded as well).
t200=$(best_of $cli render --db "$work/t200.mdb" --all --out "$work/ours" --size 512)
t20=$(best_of $cli render --db "$work/t20.mdb" --all --out "$work/ours20" --size 512)
ours_map=$($py -c "print(($t200 - $t20) / 180 * 1000)")
r_map=$(Rscript bench/peers/maps_r.R "$work/t200.csv" "$work/r" 2>&1 | sed -n 's/.*, \([0-9.]*\) ms per map/\1/p')
mpl_map=$($py bench/peers/maps_matplotlib.py "$work/t200.mdb" "$work/mpl" 2>&1 | sed -n 's/.*, \([0-9.]*\) ms per map/\1/p')

# Report, measured two ways. Work only: ours is a 100,000-series run less a 10-series run, numpy
# its script's own timer (interpreter start and imports excluded). Whole processes: both sides
# from launch to exit, as the user waits for them.
ours_report=$(best_of $cli report --db "$work/t100k.mdb")
ours_start=$(best_of $cli report --db "$work/t10.mdb")
ours_work=$($py -c "print($ours_report - $ours_start)")
np_work=""
for _ in 1 2 3 4 5; do
    t=$($py bench/peers/report_numpy.py "$work/t100k.mdb" 2>&1 >/dev/null | sed -n 's/.* in \([0-9.]*\) s/\1/p')
    np_work=$($py -c "b='$np_work'; print($t if b=='' else min(float(b), $t))")
done
np_report=$(best_of $py bench/peers/report_numpy.py "$work/t100k.mdb")
rss100k=$( { /usr/bin/time -f '%M' $cli report --db "$work/t100k.mdb" >/dev/null; } 2>&1 | tail -1)
rss10k=$( { /usr/bin/time -f '%M' $cli report --db "$work/t10k.mdb" >/dev/null; } 2>&1 | tail -1)

$py - "$ours_map" "$r_map" "$mpl_map" "$ours_report" "$np_report" "$rss10k" "$rss100k" "$ours_work" "$np_work" <<'PY'
import sys
ours_map, r_map, mpl_map, ours_rep, np_rep = map(float, sys.argv[1:6])
rss10k, rss100k = map(int, sys.argv[6:8])
ours_work, np_work = map(float, sys.argv[8:10])
print("Ratios (peer time / Tesmora time, higher is better for Tesmora):")
print(f"  maps vs R (lm + contour, 512 px bitmap)           {r_map / ours_map:7.1f} x   (target 40 x)")
print(f"  maps vs matplotlib (lstsq + contour/clabel, PNG) {mpl_map / ours_map:7.1f} x   (target 100 x)")
print(f"  report of 100,000 series vs vectorised numpy, work only       {np_work / ours_work:7.1f} x   (target 5 x)")
print(f"  report of 100,000 series vs vectorised numpy, whole processes {np_rep / ours_rep:7.1f} x   (target 5 x)")
print("Absolute (this machine, this run):")
print(f"  Tesmora {ours_map:.3f} ms per map, R {r_map:.2f} ms, matplotlib {mpl_map:.2f} ms")
print(f"  report, work only: Tesmora {ours_work:.3f} s, numpy {np_work:.3f} s")
print(f"  report, whole processes: Tesmora {ours_rep:.3f} s, numpy {np_rep:.3f} s")
print(f"  report peak memory: {rss10k / 1024:.1f} MiB for 10,000 series, {rss100k / 1024:.1f} MiB for 100,000")
PY
fi

# The analysis report: whole processes as the user waits for them, CPU (user + system), wall
# and peak memory, best of three, at each size; the work-only CPU the peers report themselves.
measure() { # prints "cpu wall peak_kib" of the best (least CPU) of three runs
    local best=""
    for _ in 1 2 3; do
        local line
        /usr/bin/time -o "$work/time" -f '%U %S %e %M' "$@" >/dev/null 2>&1
        line=$(tail -1 "$work/time")
        best=$($py -c "
b='$best'; u, s, e, m = '$line'.split(); c = float(u) + float(s)
if b: bc = float(b.split()[0])
print(b if b and bc <= c else f'{c:.3f} {float(e):.3f} {m}')")
    done
    echo "$best"
}
echo "Analysis report (CSV), whole processes: CPU s, wall s, peak MiB"
printf '%10s  %-22s %-22s %-22s %s\n' records Tesmora "R (data.table)" "numpy/scipy" "R CPU / ours"
for n in 1000 10000 100000 1000000; do
    db="$work/a$n.mdb"
    [ -f "$db" ] || $cli sample --out "$db" --records "$n" --seed 3
    # Into a file, as the peers write theirs.
    ours=$(measure bash -c "$cli report --db '$db' --analysis --responses --format csv > '$work/ours.csv'")
    r=$(measure Rscript bench/peers/analysis_r.R "$db" "$work/r.csv")
    np=$(measure $py bench/peers/analysis_numpy.py "$db" "$work/np.csv")
    $py - "$n" "$ours" "$r" "$np" <<'PY'
import sys
n = sys.argv[1]
cells = []
for m in sys.argv[2:5]:
    c, w, k = m.split()
    cells.append(f"{float(c):6.2f} {float(w):6.2f} {int(k) / 1024:6.0f}")
ours, r = float(sys.argv[2].split()[0]), float(sys.argv[3].split()[0])
ratio = f"{r / ours:5.1f} x" if ours > 0 else "(below the clock's 10 ms)"
print(f"{n:>10}  {cells[0]:<22} {cells[1]:<22} {cells[2]:<22} {ratio}")
PY
done

# The plain report against SQLite's own scan of the same values (every value read, nothing
# printed), both whole processes at 100,000 series, the report into a file. Each takes tens of
# milliseconds, below what `time` resolves: the CPU the kernel counted for each run (to the
# microsecond), 21 runs of each taken in turn, the medians.
db="$work/a100000.mdb"
$py - "$cli" "$db" "$work/plain.txt" <<'PY'
import resource, statistics, subprocess, sys
cli, db, out = sys.argv[1:4]
def cpu(argv, stdout):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(argv, stdout=stdout, stderr=subprocess.DEVNULL, check=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
scan_sql = ('SELECT sum(ID+Y1+Y2+Y3+Y4+Y5+Y6+Y7+Y8+Y9+Y10+Y11), sum(length(Y12)) '
            'FROM "等高线表"')
plain, scan = [], []
for _ in range(21):
    with open(out, "wb") as f:
        plain.append(cpu([cli, "report", "--db", db], f))
    scan.append(cpu(["sqlite3", db, scan_sql], subprocess.DEVNULL))
p, s = statistics.median(plain), statistics.median(scan)
print(f"Plain report of 100,000 series: {p * 1000:.1f} ms CPU; SQLite's own scan of the same "
      f"values {s * 1000:.1f} ms; report / scan {p / s:.2f} x (goal 2 x)")
PY
