"""The analysis report as a numpy user would script it: one query, every statistic vectorised
over the records through the fixed design ((X'X)^-1, the projection and the leverages computed
once), scipy's t and F tails, the csv module for the file."""
import csv
import sqlite3
import sys
import time

import numpy as np
from scipy import stats

start = time.process_time()
db = sqlite3.connect(f"file:{sys.argv[1]}?mode=ro", uri=True)
rows = db.execute('SELECT ID, Y1, Y2, Y3, Y4, Y5, Y6, Y7, Y8, Y9, Y10, Y11, Y12 '
                  'FROM "等高线表" ORDER BY rowid').fetchall()
ids = [r[0] for r in rows]
names = [r[12] for r in rows]
Y = np.array([r[1:12] for r in rows], dtype=float)          # records x 11
a = 1.4142
x1 = np.array([-1, 1, -1, 1, a, -a, 0, 0, 0, 0, 0])
x2 = np.array([-1, -1, 1, 1, 0, 0, a, -a, 0, 0, 0])
X = np.column_stack([np.ones(11), x1, x2, x1 * x1, x2 * x2, x1 * x2])
XtXi = np.linalg.inv(X.T @ X)
P = XtXi @ X.T                                               # 6 x 11
h = np.einsum("ij,jk,ik->i", X, XtXi, X)                     # leverages
B = Y @ P.T                                                  # records x 6
R = Y - B @ X.T
sse = (R ** 2).sum(axis=1)
sst = ((Y - Y.mean(axis=1, keepdims=True)) ** 2).sum(axis=1)
centre = Y[:, 8:11]
sspe = ((centre - centre.mean(axis=1, keepdims=True)) ** 2).sum(axis=1)
with np.errstate(divide="ignore", invalid="ignore"):
    mse = sse / 5
    se = np.sqrt(mse[:, None] * np.diag(XtXi)[None, :])
    t = B / se
    p = 2 * stats.t.sf(np.abs(t), 5)
    model_f = ((sst - sse) / 5) / mse
    lof_f = (np.maximum(sse - sspe, 0) / 3) / (sspe / 2)
    press = ((R / (1 - h)) ** 2).sum(axis=1)
    b1, b2, b11, b22, b12 = B[:, 1], B[:, 2], B[:, 3], B[:, 4], B[:, 5]
    det = 4 * b11 * b22 - b12 ** 2
    sx1 = (-2 * b22 * b1 + b12 * b2) / det
    sx2 = (-2 * b11 * b2 + b12 * b1) / det

    def pred(u, v):
        return B[:, 0] + b1 * u + b2 * v + b11 * u * u + b22 * v * v + b12 * u * v

    mid = (b11 + b22) / 2
    spread = np.hypot((b11 - b22) / 2, b12 / 2)
    ev1, ev2 = mid - spread, mid + spread
    small, large = np.minimum(abs(ev1), abs(ev2)), np.maximum(abs(ev1), abs(ev2))
    nature = np.where(small <= 0.01 * large, "ridge",
                      np.where(ev2 < 0, "maximum", np.where(ev1 > 0, "minimum", "saddle")))
    L = 1.414
    inside = (abs(sx1) <= L) & (abs(sx2) <= L)
    cx1, cx2 = [], []
    for u in (-L, L):
        for v in (-L, L):
            cx1.append(np.full(len(B), u))
            cx2.append(np.full(len(B), v))
    for e in (-L, L):
        v = -(b2 + b12 * e) / (2 * b22)
        ok = np.isfinite(v) & (abs(v) <= L)
        cx1.append(np.where(ok, e, np.nan))
        cx2.append(np.where(ok, v, np.nan))
        u = -(b1 + b12 * e) / (2 * b11)
        ok = np.isfinite(u) & (abs(u) <= L)
        cx1.append(np.where(ok, u, np.nan))
        cx2.append(np.where(ok, e, np.nan))
    cx1.append(np.where(inside, sx1, np.nan))
    cx2.append(np.where(inside, sx2, np.nan))
    CX1, CX2 = np.column_stack(cx1), np.column_stack(cx2)
    CY = pred(CX1.T, CX2.T).T
    imax = np.nanargmax(CY, axis=1)
    imin = np.nanargmin(CY, axis=1)
    k = np.arange(len(B))
columns = ([ids, names] + list(Y.T) +
           [c for i in range(6) for c in (B[:, i], se[:, i], t[:, i], p[:, i])] +
           [model_f, stats.f.sf(model_f, 5, 5), lof_f, stats.f.sf(lof_f, 3, 2), sspe / 2,
            1 - sse / sst, 1 - mse / (sst / 10), 1 - press / sst, press, sx1, sx2, pred(sx1, sx2),
            nature, inside, ev1, ev2, CX1[k, imax], CX2[k, imax], CY[k, imax],
            CX1[k, imin], CX2[k, imin], CY[k, imin]])
with open(sys.argv[2], "w", encoding="utf-8", newline="") as f:
    out = csv.writer(f)
    out.writerow(["ID", "name"] + [f"Y{i}" for i in range(1, 12)] +
                 [f"{s}_{b}" for b in ("b0", "b1", "b2", "b11", "b22", "b12")
                  for s in ("estimate", "se", "t", "p")] +
                 ["model_F", "model_p", "lack_of_fit_F", "lack_of_fit_p", "pure_error_ms",
                  "r_squared", "adj_r_squared", "pred_r_squared", "press", "stationary_x1",
                  "stationary_x2", "stationary_y", "nature", "inside", "eigenvalue_1",
                  "eigenvalue_2", "max_x1", "max_x2", "max_y", "min_x1", "min_x2", "min_y"])
    out.writerows(zip(*[c.tolist() if isinstance(c, np.ndarray) else c for c in columns]))
print(f"numpy analysis report: {len(rows)} records, {time.process_time() - start:.3f} s CPU",
      file=sys.stderr)
