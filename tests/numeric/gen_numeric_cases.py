#!/usr/bin/env python3
"""Reference values for the numeric tests, computed in IEEE double arithmetic
(Python floats, no fused multiply-add) by following the algorithms step by
step: complex division with its special cases, the 2x2 elimination with
partial pivoting, partial fractions, remainders, interpolation and colon rows.
Run it to reprint the literals used by test_linsolve.cpp,
test_partial_fraction.cpp, test_scalar.cpp and test_vector.cpp."""
import math


def cdiv(n, d):
    nr, ni = n
    dr, di = d
    if di == 0.0:
        if ni == 0.0:
            return (nr / dr, 0.0)
        if nr == 0.0:
            return (0.0, ni / dr)
        return (nr / dr, ni / dr)
    if dr == 0.0:
        if nr == 0.0:
            return (ni / di, 0.0)
        if ni == 0.0:
            return (0.0, -(nr / di))
        return (ni / di, -(nr / di))
    if abs(dr) > abs(di):
        s = di / dr
        dd = dr + s * di
        return ((nr + s * ni) / dd, (ni - s * nr) / dd)
    if abs(dr) == abs(di):
        hr = 0.5 if dr > 0 else -0.5
        hi = 0.5 if di > 0 else -0.5
        return ((nr * hr + ni * hi) / abs(dr), (ni * hr - nr * hi) / abs(dr))
    s = dr / di
    dd = di + s * dr
    return ((s * nr + ni) / dd, (s * ni - nr) / dd)


def cmul(a, b):
    return (a[0] * b[0] - a[1] * b[1], a[0] * b[1] + a[1] * b[0])


def nz(z):
    return z[0] != 0.0 or z[1] != 0.0


def solve2(A, b):
    """A: rows [[a11, a12], [a21, a22]] of complex pairs; b: two pairs."""
    a11, a12 = A[0]
    a21, a22 = A[1]
    b = list(b)
    size = lambda z: abs(z[0]) + abs(z[1])
    swap = size(a21) > size(a11)
    if nz(a21 if swap else a11):
        if swap:
            a11, a21 = a21, a11
            a12, a22 = a22, a12
        a21 = cdiv(a21, a11)
    if nz(a12):
        t = (-1.0 * a12[0], -1.0 * a12[1])
        p = cmul(t, a21)
        a22 = (a22[0] + p[0], a22[1] + p[1])
    if swap:
        b[0], b[1] = b[1], b[0]
    if nz(b[0]):
        p = cmul(b[0], a21)
        b[1] = (b[1][0] - p[0], b[1][1] - p[1])
    if nz(b[1]):
        b[1] = cdiv(b[1], a22)
        p = cmul(b[1], a12)
        b[0] = (b[0][0] - p[0], b[0][1] - p[1])
    if nz(b[0]):
        b[0] = cdiv(b[0], a11)
    return b


def pfe(zeros, poles, k):
    slope = lambda r: -(1.0 / r) * 1.0
    if len(poles) == 1:
        return [(k * 1.0, 0.0 * k)]
    b = [(1.0, 0.0), (slope(zeros[0]), 0.0) if zeros else (0.0, 0.0)]
    A = [[(1.0, 0.0), (1.0, 0.0)], [(slope(poles[1]), 0.0), (slope(poles[0]), 0.0)]]
    x = solve2(A, b)
    return [(v[0] * k, v[1] * k) for v in x]


def show(label, value):
    print(f"{label}: {value!r}")


if __name__ == "__main__":
    print("# complex division, general branches")
    show("(1+2i)/(3+1i)", cdiv((1.0, 2.0), (3.0, 1.0)))
    show("(1+2i)/(1+3i)", cdiv((1.0, 2.0), (1.0, 3.0)))
    show("(0.1+0.7i)/(-0.3+0.3i)", cdiv((0.1, 0.7), (-0.3, 0.3)))
    print("# 2x2 solves")
    R = lambda v: (v, 0.0)
    show("no exchange", solve2([[R(1.0), R(1.0)], [R(-0.5), R(-0.25)]], [R(1.0), R(-0.1)]))
    show("exchange", solve2([[R(0.0), R(1.0)], [R(2.0), R(3.0)]], [R(1.0), R(5.0)]))
    show("complex", solve2([[(1.0, 2.0), (3.0, -1.0)], [(2.0, -1.0), (1.0, 1.0)]],
                           [(1.0, 1.0), (2.0, 0.0)]))
    show("sum-of-parts pivot", solve2([[(3.0, 0.0), (1.0, 0.0)], [(2.0, 2.0), (0.3, 0.0)]],
                                      [(1.0, 0.0), (0.7, 0.0)]))
    show("pivot tie", solve2([[R(1.0), R(0.1)], [R(-1.0), R(0.2)]], [R(0.9), R(0.3)]))
    print("# partial fractions")
    show("poles 4,2 zero 10 k 1", pfe([10.0], [4.0, 2.0], 1.0))
    show("poles 1,3 k 2", pfe([], [1.0, 3.0], 2.0))
    show("poles 3e9,7e9 zero 5e9 k 0.7", pfe([5e9], [3e9, 7e9], 0.7))
    print("# remainders")
    show("fmod(1, 0.3)", math.fmod(1.0, 0.3))
    show("fmod(0.3, 0.1)", math.fmod(0.3, 0.1))
    show("fmod(-0.3, 0.1) + 0.1", math.fmod(-0.3, 0.1) + 0.1)
    show("fmod(7.5, -2) + -2", math.fmod(7.5, -2.0) + -2.0)
    print("# interpolation")
    r = (0.1 - 0.0) / (0.3 - 0.0)
    show("interp1 r", r)
    show("interp1 2r + (1-r)1", 2.0 * r + (1.0 - r) * 1.0)
    r = (0.0 - -0.3) / (0.7 - -0.3)
    show("interp1_j r", r)
    show("interp1_j 2r + 1(1-r)", 2.0 * r + 1.0 * (1.0 - r))
    print("# colon rows")
    show("0.1 + 5", 0.1 + 5.0)
    show("6.1 - 1", 6.1 - 1.0)
    show("(5.1-0.1)", 5.1 - 0.1)
