#!/usr/bin/python3
"""Writes data/sales.csv: illustrative sales of the seven priced species.

The prices follow the rule documented in data/README.md; they are made up and are
not market records. The output depends only on SEED (and this file), so running
the script again gives the same bytes:

    /usr/bin/python3 data/generate_sales.py > data/sales.csv

With --probe it writes instead the probe set that tools/probe_networks.py measures
the networks on: high-IV spreads priced by the rule alone (see data/README.md).
"""

import math
import random
import sys

SEED = 4484
ROWS_PER_SPECIES = 800

# Where the IV spread of a row comes from (fractions of each species' rows); the rest
# are drawn anywhere.
AT_REFERENCE = 0.35  # one of the group's reference spreads, exactly
NEAR_REFERENCE = 0.20  # a few points away from a reference spread
HIGH_IVS = 0.25  # every IV high: the spreads sellers list most
HIGH_LOWEST = 20  # lowest IV of a high spread
POLISHED = 0.5  # of the high spreads, those with two to five IVs set to 30 or 31
SHINY = 0.30  # fraction of shiny rows, independent of the spread
HIDDEN_POWER_BIAS = 0.25  # of the free spreads, forced to the species' paying type

# The probe set (--probe): spreads sellers list most, every IV high.
PROBE_SEED = 31
PROBE_SPREADS = 200  # per species, each priced plain and shiny
PROBE_LOWEST = 25  # lowest IV of a probe spread

# The highest sale price the bundled networks can express comfortably.
PRICE_CAP = 1_150_000_000

# Six IVs in the form's order: HP, Atk, Def, SP Atk, SP Def, SPD.
GROWLITHE_SPREADS = [
    (26, 21, 25, 25, 28, 28), (22, 27, 31, 31, 24, 30), (24, 22, 27, 26, 23, 30),
    (13, 31, 10, 18, 13, 31), (26, 20, 29, 19, 20, 29), (22, 23, 18, 29, 11, 31),
    (10, 25, 25, 28, 25, 27), (25, 29, 31, 21, 11, 25), (23, 27, 31, 17, 28, 30),
    (23, 24, 10, 5, 31, 30), (23, 25, 21, 16, 29, 28), (25, 22, 25, 25, 31, 18),
    (28, 26, 21, 24, 13, 29), (29, 26, 18, 20, 31, 20), (29, 22, 15, 10, 31, 27),
    (27, 20, 20, 28, 11, 27), (23, 27, 29, 27, 10, 30), (27, 24, 29, 28, 26, 28),
]
STARYU_SPREADS = [
    (26, 31, 24, 21, 21, 24), (23, 29, 26, 27, 29, 24), (28, 11, 28, 21, 18, 31),
    (18, 24, 13, 22, 28, 31), (9, 24, 29, 25, 31, 31), (4, 14, 18, 24, 19, 31),
    (16, 19, 31, 23, 27, 27), (23, 22, 26, 23, 25, 17), (9, 31, 28, 30, 21, 27),
    (19, 28, 21, 18, 30, 28), (25, 7, 20, 27, 27, 27), (11, 23, 18, 11, 25, 31),
    (16, 26, 15, 11, 22, 31), (31, 26, 31, 29, 9, 22), (17, 26, 31, 29, 9, 22),
    (23, 28, 6, 27, 26, 22), (12, 16, 21, 30, 14, 30), (30, 13, 15, 24, 7, 25),
    (24, 28, 19, 20, 26, 20), (19, 21, 15, 20, 3, 31), (10, 30, 29, 23, 22, 23),
    (23, 25, 17, 19, 21, 27), (29, 20, 18, 25, 12, 28), (3, 28, 26, 12, 23, 31),
    (31, 20, 12, 16, 19, 29), (28, 22, 31, 24, 21, 22),
]
SCYTHER_SPREADS = [
    (22, 23, 31, 22, 24, 25), (21, 24, 28, 28, 26, 28), (16, 11, 16, 19, 30, 4),
    (20, 16, 2, 17, 26, 11), (25, 30, 29, 14, 2, 2), (18, 6, 27, 19, 2, 13),
    (19, 6, 30, 24, 21, 7), (9, 22, 21, 2, 21, 30), (22, 10, 16, 10, 31, 4),
    (30, 27, 15, 17, 18, 10), (21, 27, 25, 27, 16, 7), (15, 28, 22, 20, 7, 25),
    (13, 23, 22, 22, 4, 24), (27, 12, 26, 20, 23, 24), (21, 11, 14, 28, 17, 22),
    (17, 30, 23, 29, 26, 28), (31, 28, 26, 21, 14, 31), (28, 21, 29, 30, 19, 23),
    (30, 27, 29, 11, 28, 21), (30, 10, 22, 27, 24, 31), (26, 31, 23, 20, 23, 16),
    (13, 17, 28, 15, 16, 18), (21, 31, 16, 28, 20, 23), (30, 27, 23, 31, 11, 16),
    (21, 21, 30, 30, 23, 9), (30, 7, 28, 25, 30, 26), (20, 28, 5, 15, 30, 24),
    (30, 25, 15, 31, 31, 9), (25, 24, 23, 4, 30, 26),
]
EEVEE_SPREADS = [
    (16, 9, 5, 29, 29, 24), (16, 29, 11, 24, 8, 16), (9, 16, 12, 15, 18, 14),
    (14, 7, 9, 2, 8, 17), (12, 15, 2, 23, 6, 10), (23, 29, 16, 11, 5, 10),
]

# The near-match windows (below, above) of the groups that have one; the groups
# without a window get "near" rows two points either way.
GROWLITHE_WINDOW = ((2, 0, 2, 2, 2, 0), (2, 0, 2, 2, 2, 0))
STARYU_WINDOW = ((2, 2, 2, 0, 2, 1), (2, 2, 2, 0, 2, 1))
SCYTHER_WINDOW = ((1, 0, 2, 2, 2, 0), (1, 0, 2, 2, 2, 2))
NO_WINDOW = ((2, 2, 2, 2, 2, 2), (2, 2, 2, 2, 2, 2))

HIDDEN_POWER_BASE_PRICE = 500_000

# nid: (name, base price, shiny factor, IV weights HP..SPD, key stat, paying Hidden
#       Power type or None, reference spreads, near-match window)
SPECIES = {
    58: ("Growlithe", 180_000, 110, (0.15, 0.25, 0.10, 0.15, 0.10, 0.25), 1, 10,
         GROWLITHE_SPREADS, GROWLITHE_WINDOW),
    59: ("Arcanine", 450_000, 120, (0.15, 0.25, 0.10, 0.15, 0.10, 0.25), 1, 10,
         GROWLITHE_SPREADS, GROWLITHE_WINDOW),
    120: ("Staryu", 120_000, 100, (0.10, 0.05, 0.10, 0.30, 0.10, 0.35), 5, 8,
          STARYU_SPREADS, STARYU_WINDOW),
    121: ("Starmie", 400_000, 130, (0.10, 0.05, 0.10, 0.30, 0.10, 0.35), 5, 8,
          STARYU_SPREADS, STARYU_WINDOW),
    123: ("Scyther", 350_000, 120, (0.15, 0.35, 0.10, 0.00, 0.10, 0.30), 1, None,
          SCYTHER_SPREADS, SCYTHER_WINDOW),
    133: ("Eevee", 250_000, 150, (0.20, 0.15, 0.15, 0.15, 0.15, 0.20), 0, 8,
          EEVEE_SPREADS, NO_WINDOW),
    212: ("Scizor", 900_000, 140, (0.15, 0.35, 0.15, 0.00, 0.10, 0.25), 1, None,
          SCYTHER_SPREADS, SCYTHER_WINDOW),
}


def hidden_power_type(ivs):
    """The Hidden Power type index, 0 (Fighting) to 15 (Dark)."""
    hp, atk, df, spa, spd_, spe = (iv & 1 for iv in ivs)
    s = hp + 2 * atk + 4 * df + 8 * spe + 16 * spa + 32 * spd_
    return 15 * s // 63


def hidden_power_power(ivs):
    """The Hidden Power base power, 30 to 70."""
    hp, atk, df, spa, spd_, spe = ((iv >> 1) & 1 for iv in ivs)
    p = hp + 2 * atk + 4 * df + 8 * spe + 16 * spa + 32 * spd_
    return 40 * p // 63 + 30


def hidden_power_addition(ivs):
    """What the window adds for a paying Hidden Power: 2 * power / 70 of the base price."""
    return int(2 * hidden_power_power(ivs) / 70 * HIDDEN_POWER_BASE_PRICE)


def has_fixed_price(ivs):
    """Spreads the program prices by a fixed message, never by its networks."""
    return all(iv <= 9 for iv in ivs) or len(set(ivs)) == 1


def rule_price(nid, shiny, ivs):
    """The illustrative price before the seller's own variation (see data/README.md)."""
    _, base, shiny_factor, weights, key_stat, _, _, _ = SPECIES[nid]
    quality = sum(w * iv / 31 for w, iv in zip(weights, ivs))
    price = base * 30 ** (quality - 0.5)
    if ivs[key_stat] == 31:
        price *= 1.2
    if shiny:
        price *= shiny_factor
    return price


def gauss(rng):
    """A standard normal draw by the Box-Muller transform (uses random() only)."""
    u1 = 1.0 - rng.random()
    u2 = rng.random()
    return math.sqrt(-2.0 * math.log(u1)) * math.cos(2.0 * math.pi * u2)


def polish(rng, ivs):
    """Sets two to five different IVs of the list to 30 or 31 (31 twice as often)."""
    stats = list(range(6))
    for i in range(2 + int(rng.random() * 4)):
        j = i + int(rng.random() * (6 - i))
        stats[i], stats[j] = stats[j], stats[i]
        ivs[stats[i]] = 30 if rng.random() < 1 / 3 else 31


def with_hidden_power(rng, ivs, paying_type):
    """The spread with its lowest bits drawn again until its Hidden Power is paying_type."""
    while hidden_power_type(ivs) != paying_type:
        ivs = tuple((iv & ~1) | int(rng.random() * 2) for iv in ivs)
    return ivs


def draw_spread(rng, nid):
    """One IV spread: at a reference spread, near one, or anywhere."""
    _, _, _, _, _, paying_type, spreads, window = SPECIES[nid]
    while True:
        kind = rng.random()
        if kind < AT_REFERENCE:
            ivs = spreads[int(rng.random() * len(spreads))]
        elif kind < AT_REFERENCE + NEAR_REFERENCE:
            ref = spreads[int(rng.random() * len(spreads))]
            below, above = window
            ivs = tuple(
                min(31, max(0, r - b + int(rng.random() * (b + a + 1))))
                for r, b, a in zip(ref, below, above))
        elif kind < AT_REFERENCE + NEAR_REFERENCE + HIGH_IVS:
            ivs = [HIGH_LOWEST + int(rng.random() * (32 - HIGH_LOWEST)) for _ in range(6)]
            if rng.random() < POLISHED:
                polish(rng, ivs)
            ivs = tuple(ivs)
        else:
            ivs = tuple(int(rng.random() * 32) for _ in range(6))
            if paying_type is not None and rng.random() < HIDDEN_POWER_BIAS:
                ivs = with_hidden_power(rng, ivs, paying_type)
        if not has_fixed_price(ivs):
            return ivs


def probe_rows():
    """(nid, shiny, ivs, price) of the probe set: for each species PROBE_SPREADS spreads
    with every IV from PROBE_LOWEST to 31 (not all six equal), each plain and shiny, at
    the rule's price without the seller's variation and without any Hidden Power
    addition: what the networks themselves should give."""
    rng = random.Random(PROBE_SEED)
    for nid in sorted(SPECIES):
        for _ in range(PROBE_SPREADS):
            while True:
                ivs = tuple(PROBE_LOWEST + int(rng.random() * (32 - PROBE_LOWEST))
                            for _ in range(6))
                if not has_fixed_price(ivs):
                    break
            for shiny in (0, 1):
                price = min(PRICE_CAP, max(1000, round(rule_price(nid, shiny, ivs))))
                yield nid, shiny, ivs, price


def write_probe(out):
    # lvl is there for orvanta-cli --batch, which reads this file as it stands.
    out.write("nid,shiny,lvl,hp,atk,def,sp_atk,sp_def,spd,rule_price\n")
    for nid, shiny, ivs, price in probe_rows():
        out.write(f"{nid},{shiny},50,{','.join(map(str, ivs))},{price}\n")


def main():
    if sys.argv[1:] == ["--probe"]:
        write_probe(sys.stdout)
        return
    if sys.argv[1:]:
        sys.exit("usage: generate_sales.py [--probe]")
    rng = random.Random(SEED)
    out = sys.stdout
    out.write("nid,shiny,hp,atk,def,sp_atk,sp_def,spd,price\n")
    for nid in sorted(SPECIES):
        paying_type = SPECIES[nid][5]
        for _ in range(ROWS_PER_SPECIES):
            shiny = 1 if rng.random() < SHINY else 0
            ivs = draw_spread(rng, nid)
            # Each seller asks a little more or less than the rule: about 8 %.
            price = rule_price(nid, shiny, ivs) * math.exp(0.08 * gauss(rng))
            price = min(PRICE_CAP, max(1000, round(price)))
            if paying_type is not None and hidden_power_type(ivs) == paying_type:
                price += hidden_power_addition(ivs)
            out.write(f"{nid},{shiny},{','.join(map(str, ivs))},{price}\n")


if __name__ == "__main__":
    main()
