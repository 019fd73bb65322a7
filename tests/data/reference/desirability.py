#!/usr/bin/env python3
"""Reference optima of the overall desirability, by brute force independent of the program.

Each response's quadratic is fitted by its own normal equations; D = (prod d_i^r_i)^(1/sum r_i)
is evaluated on a 601 x 601 grid of the square |X1|, |X2| <= 1.414, then the best grid points
are refined by zooming grids of 41 x 41 points (so a ridge along a kink or an edge is
followed in any direction).
Prints, per case, the largest D found and where.
"""
import math

A = 1.4142
L = 1.414
POINTS = [(-1, -1), (1, -1), (-1, 1), (1, 1), (A, 0), (-A, 0), (0, A), (0, -A), (0, 0), (0, 0), (0, 0)]
SERIES = {
    1: [12.1, 13.4, 11.8, 14.2, 13.9, 11.5, 13.0, 12.2, 15.1, 14.8, 15.3],
    2: [2.5, 3.1, 1.9, 2.8, 3.3, 2.0, 2.6, 2.2, 3.6, 3.5, 3.7],
    3: [78.2, 84.5, 80.1, 88.9, 87.4, 76.3, 85.2, 79.8, 90.6, 91.2, 89.8],
    6: [132, 118, 141, 125, 120, 138, 136, 122, 112, 115, 110],
}
# (record, kind, limits..., shapes..., importance)
CASES = [
    ("curve kink", [(1, "max", 13, 15, 1, 3), (2, "target", 3, 3.4, 3.8, 1, 1, 3)]),
    ("interior", [(1, "max", 14, 16, 1, 3)]),
    ("plateau", [(1, "range", 14, 20, 3), (2, "range", 2, 4, 3)]),
    ("empty", [(1, "min", 0, 5, 1, 3)]),
    ("corner", [(1, "min", 8, 16, 1, 3)]),
    ("edge", [(1, "min", 8, 14, 1, 3), (3, "max", 70, 92, 1, 3)]),
    ("weights", [(1, "max", 13, 15, 1, 5), (2, "min", 2, 4, 1, 1)]),
    ("shapes", [(1, "max", 12, 16, 0.5, 3), (3, "min", 75, 95, 2, 3)]),
    ("three", [(1, "max", 13, 16, 1, 3), (2, "target", 2.5, 3.2, 3.8, 2, 0.5, 2), (3, "max", 85, 95, 1, 4)]),
    ("on a curve", [(1, "target", 14, 15, 16, 1, 1, 3)]),
    ("target out of reach", [(1, "target", 14, 16.5, 17, 1, 1, 3), (2, "target", 2, 4, 4.5, 2, 1, 3)]),
    ("range boundary", [(1, "range", 12, 14, 3), (2, "max", 2, 4, 1, 3)]),
    ("conflict", [(1, "max", 15, 16, 1, 3), (6, "max", 140, 150, 1, 3)]),
]


def fit(y):
    rows = [[1, x1, x2, x1 * x1, x2 * x2, x1 * x2] for x1, x2 in POINTS]
    m = [[sum(r[i] * r[j] for r in rows) for j in range(6)] + [sum(r[i] * v for r, v in zip(rows, y))]
         for i in range(6)]
    for c in range(6):
        p = max(range(c, 6), key=lambda r: abs(m[r][c]))
        m[c], m[p] = m[p], m[c]
        for r in range(6):
            if r != c:
                f = m[r][c] / m[c][c]
                m[r] = [a - f * b for a, b in zip(m[r], m[c])]
    return [m[i][6] / m[i][i] for i in range(6)]


def d(goal, y):
    kind = goal[1]
    if kind == "max":
        lo, hi, s = goal[2], goal[3], goal[4]
        return 0 if y <= lo else 1 if y >= hi else ((y - lo) / (hi - lo)) ** s
    if kind == "min":
        lo, hi, s = goal[2], goal[3], goal[4]
        return 1 if y <= lo else 0 if y >= hi else ((hi - y) / (hi - lo)) ** s
    if kind == "target":
        lo, t, hi, s1, s2 = goal[2:7]
        if y < lo or y > hi:
            return 0
        return ((y - lo) / (t - lo)) ** s1 if y <= t else ((hi - y) / (hi - t)) ** s2
    lo, hi = goal[2], goal[3]
    return 1 if lo <= y <= hi else 0


def D(goals, models, x1, x2):
    total, weights = 0.0, 0
    for g, b in zip(goals, models):
        y = b[0] + b[1] * x1 + b[2] * x2 + b[3] * x1 * x1 + b[4] * x2 * x2 + b[5] * x1 * x2
        v = d(g, y)
        if v <= 0:
            return 0.0
        total += g[-1] * math.log(v)
        weights += g[-1]
    return math.exp(total / weights)


def refine(f, x, v):
    """Zooms in: a 41 x 41 grid around the best point so far, its half-width shrunk by ten
    each time, so a ridge of any direction (a kink, an edge) is followed."""
    w = 0.02
    while w > 1e-13:
        for i in range(41):
            for j in range(41):
                p = (min(L, max(-L, x[0] + w * (i - 20) / 20)), min(L, max(-L, x[1] + w * (j - 20) / 20)))
                u = f(*p)
                if u > v:
                    q, v = p, u
                    x = q
        w /= 4
    return x, v


for name, goals in CASES:
    models = [fit(SERIES[g[0]]) for g in goals]
    f = lambda a, b: D(goals, models, a, b)
    n = 601
    grid = [(-L + 2 * L * i / (n - 1), -L + 2 * L * j / (n - 1)) for i in range(n) for j in range(n)]
    scored = sorted(((f(*p), p) for p in grid), reverse=True)[:12]
    best = (0.0, (0.0, 0.0))
    for v, p in scored:
        if v > 0:
            q, w = refine(f, p, v)
            best = max(best, (w, q))
    print("%-16s D = %.12f at (%.6f, %.6f)" % (name, best[0], best[1][0], best[1][1]))
