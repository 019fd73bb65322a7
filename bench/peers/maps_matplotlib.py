"""Maps as a matplotlib user would make them: per series, a least-squares fit with numpy, a
contour map with labels on a 512 x 512 picture, saved as a bitmap."""
import sqlite3
import sys
import time
import os

import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt
import numpy as np

db_path, out_dir = sys.argv[1], sys.argv[2]
start = time.perf_counter()
db = sqlite3.connect(f"file:{db_path}?mode=ro", uri=True)
rows = db.execute('SELECT ID, Y1, Y2, Y3, Y4, Y5, Y6, Y7, Y8, Y9, Y10, Y11, Y12 FROM "等高线表" ORDER BY rowid').fetchall()
a = 1.4142
x1 = np.array([-1, 1, -1, 1, a, -a, 0, 0, 0, 0, 0])
x2 = np.array([-1, -1, 1, 1, 0, 0, a, -a, 0, 0, 0])
X = np.column_stack([np.ones(11), x1, x2, x1 * x1, x2 * x2, x1 * x2])
g = np.linspace(-1.414, 1.414, 283)
G1, G2 = np.meshgrid(g, g)
for r in rows:
    y = np.array(r[1:12], dtype=float)
    b, *_ = np.linalg.lstsq(X, y, rcond=None)
    Z = b[0] + b[1] * G1 + b[2] * G2 + b[3] * G1 ** 2 + b[4] * G2 ** 2 + b[5] * G1 * G2
    fig = plt.figure(figsize=(5.12, 5.12), dpi=100)
    ax = fig.add_subplot()
    cs = ax.contour(G1, G2, Z, levels=np.linspace(y.min(), y.max(), 5))
    ax.clabel(cs, fontsize=7)
    ax.grid(True, linestyle=":")
    ax.set_xlabel("X1")
    ax.set_ylabel("X2")
    fig.savefig(os.path.join(out_dir, f"map{r[0]:g}.png"))  # matplotlib writes no BMP
    plt.close(fig)
elapsed = time.perf_counter() - start
print(f"matplotlib maps: {len(rows)} in {elapsed:.3f} s, {1000 * elapsed / len(rows):.2f} ms per map", file=sys.stderr)
