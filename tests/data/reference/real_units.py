#!/usr/bin/env python3
"""Reference coefficients of the model in real units, by exact polynomial substitution.

Each coded model y = b0 + b1 X1 + b2 X2 + b11 X1^2 + b22 X2^2 + b12 X1 X2 (the b as the doubles
the program holds) is rewritten with X = (x - centre) / step by multiplying out polynomials in
x1 and x2 with exact rationals: no closed formula of the program is used. Prints, per case,
c0, c1, c2, c11, c22, c12 as 17-digit decimals.
"""
from fractions import Fraction as F

CASES = [
    # coded b0 ... b12, then (low, high) of X1 and X2
    ((15.066666666666668, 0.88676856823760357, 0.20392201063962406, -1.1270919240453093,
      -1.1770928830637034, 0.27499999999999947), (60, 80), (30, 10)),
    ((10, 2, -1, -3, -2, 0.5), (0, 1), (-5, 5)),
    ((1000, -250, 40, 12.5, -7, 3), (0.001, 0.003), (10000, 20000)),
]


def mul(p, q):
    """Product of polynomials given as {(i, j): coefficient of x1^i x2^j}."""
    out = {}
    for (a, b), u in p.items():
        for (c, d), v in q.items():
            out[(a + c, b + d)] = out.get((a + c, b + d), 0) + u * v
    return out


def add(p, q, k=1):
    out = dict(p)
    for key, v in q.items():
        out[key] = out.get(key, 0) + k * v
    return out


for b, (l1, h1), (l2, h2) in CASES:
    b = [F(v) for v in b]
    l1, h1, l2, h2 = (F(v) for v in (l1, h1, l2, h2))
    m1, s1, m2, s2 = (l1 + h1) / 2, (h1 - l1) / 2, (l2 + h2) / 2, (h2 - l2) / 2
    X1 = {(1, 0): 1 / s1, (0, 0): -m1 / s1}
    X2 = {(0, 1): 1 / s2, (0, 0): -m2 / s2}
    y = {(0, 0): b[0]}
    for coefficient, term in ((b[1], X1), (b[2], X2), (b[3], mul(X1, X1)), (b[4], mul(X2, X2)),
                              (b[5], mul(X1, X2))):
        y = add(y, term, coefficient)
    order = [(0, 0), (1, 0), (0, 1), (2, 0), (0, 2), (1, 1)]
    print(", ".join("%.17g" % float(y.get(k, 0)) for k in order))
