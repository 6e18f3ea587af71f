#!/usr/bin/python3
"""Writes a made-up year of one seller's market sales of six species that the built-in
species table does not price, by the rule documented in data/README.md ("A seller's year
on the market"). The sales are illustrative, not market records: they exist to measure
how close the trainer's networks come to a market with the difficulties of a real one.

    /usr/bin/python3 data/generate_market.py > year.csv           # the seller's year
    /usr/bin/python3 data/generate_market.py --hidden > hidden.csv  # an independent year
    /usr/bin/python3 data/generate_market.py --trainer-options      # --hidden-power ...

The output depends only on the seed and this file (and data/generate_sales.py, whose
Hidden Power helpers it shares), so a run gives the same bytes every time. The hidden
year is the same market (same rule, same popular spreads, same days) drawn from another
seed: sales the networks never saw, for measuring them.

Columns: date,nid,shiny,lvl,hp,atk,def,sp_atk,sp_def,spd,price,rule_price. `price` is
what the Pokémon sold for, Hidden Power addition included; `rule_price` is the rule's
price of that sale without the market's noise (addition included too), so that the
market's own noise, the median of |price - rule_price| / rule_price, can be measured.
orvanta-train ignores `lvl` and `rule_price`.
"""

import argparse
import collections
import datetime
import math
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import generate_sales  # noqa: E402  (the Hidden Power helpers and the normal draw)

SEED = 2025  # the seller's year
HIDDEN_SEED = 2026  # the independent year that measures the networks
MARKET_SEED = 37  # the popular spreads: the same market whatever the year's seed
YEAR = 2025

PRICE_CAP = generate_sales.PRICE_CAP
HIDDEN_POWER_TYPES = ("Fighting", "Flying", "Poison", "Ground", "Rock", "Bug", "Ghost",
                      "Steel", "Fire", "Water", "Grass", "Electric", "Psychic", "Ice",
                      "Dragon", "Dark")

# Where a sale's IV spread comes from (fractions of a species' sales).
POPULAR = 0.40  # one of the species' popular spreads, sold again and again
NEAR_POPULAR = 0.15  # a few points from a popular spread
HIGH = 0.20  # every IV high, half of them polished with 30s and 31s
FIXED = 0.05  # a fixed-price spread: six 31s, all six equal, or all IVs 9 or less
# The rest (0.20) is drawn anywhere; a quarter of those is redrawn in its lowest bits
# until its Hidden Power is the species' paying type.
HIDDEN_POWER_BIAS = 0.25
POPULAR_SPREADS = 14  # per species, chosen the i-th most often with weight 1 / (i + 1)
QUICK_SALE = 0.02  # sales let go well below the market (0.45 to 0.75 of the rule)

# Species: the rule's figures, one row per species.
#   sales: sales in the year; base: price of a middling plain spread (Pd);
#   shiny: multiple of a shiny one; shiny_share: fraction of shiny sales;
#   weights: what buyers care about, HP, Atk, Def, SP Atk, SP Def, SPD (sum 1);
#   steep: price ratio between the worst and the best spread (30 ** (q - 0.5));
#   bonuses: (stats, value, factor): all of those IVs at that value multiply the price;
#   perfect_step: factor per IV at 31 (breeders pay per perfect IV), 1 for none;
#   paying_type: the Hidden Power type index that earns the addition, or None;
#   noise: the seller's variation, sd of the log price (shiny sales have 0.04 more);
#   drift: the price change from the first day of the year to the last.
Species = collections.namedtuple(
    "Species", "name sales base shiny shiny_share weights steep bonuses perfect_step "
    "paying_type noise drift")
SPECIES = {
    37: Species("Vulpix", 300, 150_000, 80, 0.35, (0.15, 0.00, 0.10, 0.30, 0.15, 0.30), 30,
                (((3,), 31, 1.15),), 1.0, 10, 0.07, 0.0),
    94: Species("Gengar", 520, 900_000, 60, 0.25, (0.15, 0.00, 0.05, 0.35, 0.10, 0.35), 30,
                (((5,), 31, 1.25), ((1,), 0, 1.10)), 1.0, 0, 0.09, -0.10),
    132: Species("Ditto", 640, 300_000, 30, 0.20, (1 / 6,) * 6, 12, (), 1.45, None, 0.22,
                 0.0),
    147: Species("Dratini", 200, 120_000, 120, 0.30, (0.15, 0.30, 0.10, 0.05, 0.10, 0.30),
                 30, (((1,), 31, 1.20),), 1.0, 8, 0.08, 0.15),
    445: Species("Garchomp", 450, 1_500_000, 35, 0.15, (0.15, 0.35, 0.10, 0.00, 0.10, 0.30),
                 30, (((1, 5), 31, 1.30),), 1.0, 8, 0.08, 0.0),
    448: Species("Lucario", 380, 700_000, 90, 0.25, (0.10, 0.20, 0.05, 0.30, 0.05, 0.30), 30,
                 (((5,), 31, 1.15),), 1.0, 13, 0.10, 0.0),
}

# Fixed-price spreads, at the seller's own prices: six 31s at a premium over what the
# rule gives that spread, other all-equal spreads at a smaller one, epic fails (all IVs
# 9 or less) as collectors' pieces at a share of the base price.
PERFECT_PREMIUM = 2.0
EQUAL_PREMIUM = 1.4
EPIC_FAIL_SHARE = 0.8
FIXED_KINDS = ((0.45, "perfect"), (0.20, "equal"), (0.35, "epic fail"))


def smooth_price(species, shiny, ivs):
    """The rule's price of a spread before the fixed-price premiums and the drift."""
    quality = sum(w * iv / 31 for w, iv in zip(species.weights, ivs))
    price = species.base * species.steep ** (quality - 0.5)
    for stats, value, factor in species.bonuses:
        if all(ivs[s] == value for s in stats):
            price *= factor
    price *= species.perfect_step ** sum(1 for iv in ivs if iv == 31)
    if shiny:
        price *= species.shiny
    return price


def fixed_kind(ivs):
    """"perfect", "equal", "epic fail", or None for a spread without a fixed price."""
    if not generate_sales.has_fixed_price(ivs):
        return None
    if all(iv == 31 for iv in ivs):
        return "perfect"
    return "equal" if len(set(ivs)) == 1 and ivs[0] > 9 else "epic fail"


def rule_price(species, day, shiny, ivs):
    """The noise-free price of a sale on day `day` (0 for 1 January), before any Hidden
    Power addition."""
    kind = fixed_kind(ivs)
    if kind == "epic fail":
        price = species.base * EPIC_FAIL_SHARE * (species.shiny if shiny else 1)
    else:
        price = smooth_price(species, shiny, ivs)
        if kind == "perfect":
            price *= PERFECT_PREMIUM
        elif kind == "equal":
            price *= EQUAL_PREMIUM
    return price * (1 + species.drift * (day / 364 - 0.5))


def addition(species, ivs):
    """The Hidden Power addition a sale of this spread includes (0 for none)."""
    if species.paying_type is None:
        return 0
    if generate_sales.hidden_power_type(ivs) != species.paying_type:
        return 0
    return generate_sales.hidden_power_addition(ivs)


def seller_rounding(rng, price):
    """Sellers write round prices: two significant digits half the time, else three."""
    digits = 2 if rng.random() < 0.5 else 3
    step = 10 ** max(0, int(math.floor(math.log10(price))) + 1 - digits)
    return int(round(price / step)) * step


def popular_spreads(nid):
    """The species' popular spreads, the same in every year: high IVs, the stats buyers
    weigh most often at 31."""
    rng = random.Random(MARKET_SEED * 1000 + nid)
    species = SPECIES[nid]
    spreads = []
    while len(spreads) < POPULAR_SPREADS:
        ivs = []
        for w in species.weights:
            if w >= 0.25 and rng.random() < 0.6:
                ivs.append(31)
            else:
                ivs.append(14 + int(rng.random() * 18))
        ivs = tuple(ivs)
        if fixed_kind(ivs) is None and ivs not in spreads:
            spreads.append(ivs)
    return spreads


def pick(rng, items, cumulative):
    """One of the items, item i with weight cumulative[i] - cumulative[i - 1]; random() only,
    so that the draws do not depend on the Python version."""
    r = rng.random() * cumulative[-1]
    for item, bound in zip(items, cumulative):
        if r < bound:
            return item
    return items[-1]


def draw_fixed(rng):
    """A fixed-price spread."""
    r = rng.random()
    for share, kind in FIXED_KINDS:
        if r < share:
            break
        r -= share
    if kind == "perfect":
        return (31,) * 6
    if kind == "equal":
        return (10 + int(rng.random() * 21),) * 6
    return tuple(int(rng.random() * 10) for _ in range(6))


def draw_spread(rng, nid, popular, cumulative):
    species = SPECIES[nid]
    kind = rng.random()
    if kind < FIXED:
        return draw_fixed(rng)
    while True:
        kind = rng.random() * (1 - FIXED)
        if kind < POPULAR:
            ivs = pick(rng, popular, cumulative)
        elif kind < POPULAR + NEAR_POPULAR:
            ref = pick(rng, popular, cumulative)
            ivs = tuple(min(31, max(0, r - 2 + int(rng.random() * 5))) for r in ref)
        elif kind < POPULAR + NEAR_POPULAR + HIGH:
            ivs = [20 + int(rng.random() * 12) for _ in range(6)]
            if rng.random() < 0.5:
                generate_sales.polish(rng, ivs)
            ivs = tuple(ivs)
        else:
            ivs = tuple(int(rng.random() * 32) for _ in range(6))
            if species.paying_type is not None and rng.random() < HIDDEN_POWER_BIAS:
                ivs = generate_sales.with_hidden_power(rng, ivs, species.paying_type)
        if fixed_kind(ivs) is None:
            return ivs


def sales(seed):
    """Every sale of the year, in date order: (date, nid, shiny, lvl, ivs, price, rule)."""
    rng = random.Random(seed)
    first = datetime.date(YEAR, 1, 1)
    rows = []
    for nid in sorted(SPECIES):
        species = SPECIES[nid]
        popular = popular_spreads(nid)
        cumulative = [sum(1 / (k + 1) for k in range(i + 1)) for i in range(len(popular))]
        for _ in range(species.sales):
            day = int(rng.random() * 365)
            shiny = 1 if rng.random() < species.shiny_share else 0
            ivs = draw_spread(rng, nid, popular, cumulative)
            lvl = 1 if rng.random() < 0.4 else 5 + int(rng.random() * 96)
            rule = rule_price(species, day, shiny, ivs)
            sigma = species.noise + (0.04 if shiny else 0.0)
            price = rule * math.exp(sigma * generate_sales.gauss(rng))
            if rng.random() < QUICK_SALE:
                price = rule * (0.45 + 0.3 * rng.random())
            price = min(PRICE_CAP, max(1000, seller_rounding(rng, price)))
            extra = addition(species, ivs)
            rows.append((first + datetime.timedelta(days=day), nid, shiny, lvl, ivs,
                         price + extra, min(PRICE_CAP, max(1000, round(rule))) + extra))
    rows.sort(key=lambda r: r[0])  # stable: within a day, species by number
    return rows


def trainer_options():
    """The orvanta-train options this market needs: each species' paying Hidden Power."""
    return [f"--hidden-power={nid}="
            + ("" if s.paying_type is None else HIDDEN_POWER_TYPES[s.paying_type])
            for nid, s in sorted(SPECIES.items())]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    which = parser.add_mutually_exclusive_group()
    which.add_argument("--hidden", action="store_true",
                       help=f"the independent year (seed {HIDDEN_SEED}) instead of the "
                       f"seller's (seed {SEED})")
    which.add_argument("--seed", type=int, help="any other year of the same market")
    which.add_argument("--trainer-options", action="store_true",
                       help="print the orvanta-train options for these species, one a line")
    args = parser.parse_args()
    if args.trainer_options:
        print("\n".join(trainer_options()))
        return
    seed = args.seed if args.seed is not None else HIDDEN_SEED if args.hidden else SEED
    out = sys.stdout
    out.write("date,nid,shiny,lvl,hp,atk,def,sp_atk,sp_def,spd,price,rule_price\n")
    for date, nid, shiny, lvl, ivs, price, rule in sales(seed):
        out.write(f"{date.isoformat()},{nid},{shiny},{lvl},{','.join(map(str, ivs))},"
                  f"{price},{rule}\n")


if __name__ == "__main__":
    main()
