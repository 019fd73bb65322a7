"""The report as a numpy user would script it: read every series from the SQLite table, fit all
of them at once with one vectorised least-squares solve, and print one row per series."""
import sqlite3
import sys
import time

import numpy as np

start = time.perf_counter()
db = sqlite3.connect(f"file:{sys.argv[1]}?mode=ro", uri=True)
rows = db.execute('SELECT ID, Y1, Y2, Y3, Y4, Y5, Y6, Y7, Y8, Y9, Y10, Y11, Y12 FROM "等高线表" ORDER BY rowid').fetchall()
ids = [r[0] for r in rows]
names = [r[12] for r in rows]
y = np.array([r[1:12] for r in rows], dtype=float)        # records x 11
a = 1.4142
x1 = np.array([-1, 1, -1, 1, a, -a, 0, 0, 0, 0, 0])
x2 = np.array([-1, -1, 1, 1, 0, 0, a, -a, 0, 0, 0])
X = np.column_stack([np.ones(11), x1, x2, x1 * x1, x2 * x2, x1 * x2])
b, *_ = np.linalg.lstsq(X, y.T, rcond=None)                 # 6 x records
fitted = X @ b
sse = ((y.T - fitted) ** 2).sum(axis=0)
sst = ((y - y.mean(axis=1, keepdims=True)) ** 2).sum(axis=1)
with np.errstate(divide="ignore", invalid="ignore"):
    r = np.sqrt(1 - sse / sst)
s = np.sqrt(sse / 5)
out = sys.stdout
out.write("ID\tname\tb0\tb1\tb2\tb11\tb22\tb12\tR\tS\n")
out.write("".join(
    f"{i:g}\t{n}\t{c[0]:.6g}\t{c[1]:.6g}\t{c[2]:.6g}\t{c[3]:.6g}\t{c[4]:.6g}\t{c[5]:.6g}\t{rr:.3f}\t{ss:.3f}\n"
    for i, n, c, rr, ss in zip(ids, names, b.T, r, s)))
out.flush()
print(f"numpy report: {len(rows)} records in {time.perf_counter() - start:.3f} s", file=sys.stderr)
