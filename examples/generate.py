#!/usr/bin/env python3
"""Writes the synthetic example datasets: known parameters plus Gaussian noise from a
fixed seed, so the files are the same on every run. Each file says how it was made and
gives the velquin command that fits it."""
import math
import random

rng = random.Random(20261209)


def write(name, header, rows):
    with open(name, "w") as f:
        for line in header:
            f.write("# " + line + "\n")
        for row in rows:
            f.write(" ".join("%.6g" % v for v in row) + "\n")


# T1 relaxation, inversion recovery: Mo*(1 - W*exp(-x/T1)), x in ms.
mo, w, t1, sigma = 100.0, 1.9, 450.0, 0.8
rows = []
for i in range(20):
    x = 10.0 * 1.33 ** i
    rows.append((x, mo * (1 - w * math.exp(-x / t1)) + rng.gauss(0, sigma)))
write("t1-relaxation.crv", [
    "T1 relaxation (inversion recovery): synthetic data, Mo = 100, W = 1.9, T1 = 450 ms,",
    "plus Gaussian noise of sigma 0.8. x: recovery delay in ms; y: signal.",
    "Fit: velquin 0 0 t1-relaxation.crv t1.res t1.log 4 1000 80 =1.9 300",
], rows)

# pH titration of a chemical shift: Sa + (h/(h + k))*(Sah - Sa), h = 10^-pH*n, k = 10^-pKa*n.
pka, sa, sah, hc, sigma = 6.4, 8.35, 8.95, 1.0, 0.006
rows = []
for i in range(25):
    ph = 4.0 + 0.2 * i
    h, k = 10 ** (-ph * hc), 10 ** (-pka * hc)
    rows.append((ph, (h / (h + k)) * (sah - sa) + sa + rng.gauss(0, sigma)))
write("ph-titration.crv", [
    "pH titration of a histidine proton shift: synthetic data, pKa = 6.4, Sa = 8.35 ppm,",
    "Sah = 8.95 ppm, Hill coefficient 1, plus Gaussian noise of sigma 0.006 ppm.",
    "Fit: velquin 0 0 ph-titration.crv ph.res ph.log 9 1000 7 8.3 9 =1",
], rows)

# Thermal melt of a monomer: two baselines in x (deg C), dH at Tm, dCp, Tm in kelvin.
p = [1.0, 0.002, 0.25, 0.001, 90.0, 1.2, 328.0]
sigma = 0.004
rows = []
for i in range(71):
    x = 20.0 + i
    t = x + 273.15
    a = t * (p[5] * math.log(t / p[6]) + p[4] / p[6]) - (p[5] * (t - p[6]) + p[4])
    k = math.exp(-((-a) / 0.001987) / t)
    f = k / (k + 1)
    y = (1 - f) * (p[0] - p[1] * x) + f * (p[2] - p[3] * x)
    rows.append((x, y + rng.gauss(0, sigma)))
write("thermal-melt.crv", [
    "Thermal melt of a monomer (fraction folded by CD): synthetic data, native baseline",
    "1.0 - 0.002*x, unfolded baseline 0.25 - 0.001*x, dH = 90 kcal/mol at Tm = 328 K,",
    "dCp = 1.2 kcal/(mol K), plus Gaussian noise of sigma 0.004. x: temperature in deg C.",
    "Fit: velquin 0 0 thermal-melt.crv melt.res melt.log 13 2000 1 0.002 0.25 0.001 80 =1.2 330",
], rows)

# Chemical-shift titration, three columns: ligand x, shift change y, protein x2 (diluted).
shift, kd, sigma = 0.42, 0.15, 0.002
rows = []
for i in range(16):
    lig = 0.05 + 0.13 * i
    prot = 0.1 * 500.0 / (500.0 + 4.0 * i)
    s = (lig + prot) + kd
    y = ((s - math.sqrt(s * s - 4 * lig * prot)) * shift) / (2 * prot)
    rows.append((lig, y + rng.gauss(0, sigma), prot))
write("shift-titration.crv", [
    "Chemical-shift titration X + Y <=> XY, observing X: synthetic data, full shift",
    "0.42 ppm, Kd = 0.15 mM, plus Gaussian noise of sigma 0.002 ppm. Columns: ligand Y",
    "in mM, shift change in ppm, protein X in mM (diluted as the titration goes on).",
    "Fit: velquin 0 0 shift-titration.crv shift.res shift.log 15 1000 0.3 0.3",
], rows)
