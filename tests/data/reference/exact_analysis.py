#!/usr/bin/env python3
"""Reference figures for the model analysis on extreme responses, by exact rational arithmetic.

Each response is taken as the double the program reads (Fraction(float)), the axial distance
as the double 1.4142; the normal equations are solved exactly. Prints, per case, the residual
and pure-error sums of squares, R squared and the lack-of-fit F, as decimal text.
"""
from decimal import Decimal, getcontext
from fractions import Fraction as F

getcontext().prec = 17

A = F(1.4142)
POINTS = [(-1, -1), (1, -1), (-1, 1), (1, 1), (A, 0), (-A, 0), (0, A), (0, -A), (0, 0), (0, 0), (0, 0)]
HARDNESS = [12.1, 13.4, 11.8, 14.2, 13.9, 11.5, 13.0, 12.2, 15.1, 14.8, 15.3]


def solve(m, v):
    n = len(v)
    a = [row[:] + [v[i]] for i, row in enumerate(m)]
    for c in range(n):
        p = next(r for r in range(c, n) if a[r][c] != 0)
        a[c], a[p] = a[p], a[c]
        for r in range(n):
            if r != c and a[r][c] != 0:
                f = a[r][c] / a[c][c]
                a[r] = [x - f * y for x, y in zip(a[r], a[c])]
    return [a[i][n] / a[i][i] for i in range(n)]


def figures(y):
    y = [F(v) for v in y]
    x = [[F(1), F(p), F(q), F(p) * p, F(q) * q, F(p) * q] for p, q in POINTS]
    xtx = [[sum(r[i] * r[j] for r in x) for j in range(6)] for i in range(6)]
    xty = [sum(r[i] * v for r, v in zip(x, y)) for i in range(6)]
    b = solve(xtx, xty)
    sse = sum((v - sum(bi * xi for bi, xi in zip(b, r))) ** 2 for r, v in zip(x, y))
    mean = sum(y) / 11
    sst = sum((v - mean) ** 2 for v in y)
    cm = sum(y[8:]) / 3
    sspe = sum((v - cm) ** 2 for v in y[8:])
    lof_f = ((sse - sspe) / 3) / (sspe / 2) if sspe else None
    return sse, sspe, 1 - sse / sst, lof_f


CASES = {
    "all-plus-1e12": [v + 1e12 for v in HARDNESS],
    "one-1e12": [1e12] + HARDNESS[1:],
    "one-1e300": [1e300] + HARDNESS[1:],
    "one-1e308": [1e308] + HARDNESS[1:],
}
for name, y in CASES.items():
    print(name, *(str(Decimal(v.numerator) / Decimal(v.denominator)) if v is not None else "NA"
                  for v in figures(y)))
