#!/usr/bin/env python3
"""Writes the standard scenario of the water plant as SQL INSERT statements.

    python3 tools/make_standard_scenario.py > data/standard_scenario.sql
    python3 tools/make_standard_scenario.py --check

--check plays the scenario through a small model of the plant (pump cycle,
cleaning, queue, deadlines) with three ways of playing: nobody pumping, the
program's Random method, and a careful player who works the deadlines in
order. It prints the missed buckets of each, so the amounts below can be tuned
with the numbers in view. The model is a planning aid; the program's own
engine is what counts.

The plant: 23 tanks in five columns, water flowing left to right.

    column 1: 0
    column 2: 1, 2
    column 3: 3 .. 14
    column 4: 15 .. 20
    column 5: 21, 22  (they pump out of the plant)

Clock times are minutes and seconds of simulated time; a trial runs 8:00,
480 ticks of one second. Five pumps move one bucket every two ticks each,
about 1200 buckets a trial in all.
"""

import argparse
import random
import sys

TANKS = 23

# (head, tail, share). A tank whose shares add up to less than 1 loses the
# rest out of the plant; so does a tank with no rows. Shares that should add
# up to exactly 1 are sums of halves, quarters, eighths and sixteenths, which
# add without rounding.
OUTLETS = [
    # column 1 -> column 2; a tenth of tank 0's water is lost
    (0, 1, 0.45), (0, 2, 0.45),
    # column 2 -> column 3: tank 1 feeds the upper half, tank 2 the lower half
    (1, 3, 0.125), (1, 4, 0.125), (1, 5, 0.125), (1, 6, 0.125), (1, 7, 0.25), (1, 8, 0.25),
    (2, 9, 0.125), (2, 10, 0.125), (2, 11, 0.1875), (2, 12, 0.1875), (2, 13, 0.1875), (2, 14, 0.1875),
    # column 3 -> column 4, two tanks into each; 4, 6, 8 and 12 lose part of their water
    (3, 15, 1.0), (4, 15, 0.75),
    (5, 16, 1.0), (6, 16, 0.5),
    (7, 17, 1.0), (8, 17, 0.75),
    (9, 18, 1.0), (10, 18, 1.0),
    (11, 19, 1.0), (12, 19, 0.75),
    (13, 20, 1.0), (14, 20, 1.0),
    # column 4 -> column 5; 15, 16, 18, 19 and 20 lose part of their water
    (15, 21, 0.5), (15, 22, 0.25),
    (16, 21, 0.5),
    (17, 21, 1.0),
    (18, 22, 0.75),
    (19, 22, 0.5),
    (20, 22, 0.5),
    # column 5 -> out of the plant
    (21, -1, 1.0), (22, -1, 1.0),
]

COLUMN = [1] + [2] * 2 + [3] * 12 + [4] * 6 + [5] * 2

# (tank, minute, second, buckets to pump out by then), in time order. The
# deadlines fall on whole minutes: the trial's end is the latest deadline only
# while no earlier row carries more seconds than a later one. The amounts, 636
# buckets in all (about half of what the pumps can move), are a little more
# than what arrives directly into each third-column tank before its deadline,
# and well beyond it for the fourth and fifth columns: a player has to pump
# the feeding tanks in time as well, and a pump left on a full tank without a
# deadline is a pump lost.
DEADLINES = [
    (11, 2, 0, 33), (12, 2, 0, 31),
    (7, 3, 0, 42), (13, 3, 0, 42),
    (8, 4, 0, 50), (14, 4, 0, 46),
    (17, 5, 0, 66), (19, 5, 0, 61),
    (18, 6, 0, 50), (20, 6, 0, 61),
    (21, 7, 0, 66), (22, 8, 0, 88),
]

# Seconds between arrival rows: every 20 to 40 s from 0:00 to 7:50.
INTERVALS = [25, 35, 30, 20, 40, 30, 25, 35, 30, 20, 40, 30, 25, 35, 30, 20]

# Water at 0:00, per tank. The tanks without deadlines start full: a pump
# sent there stays busy for a long while.
INITIAL = {
    0: 50, 1: 15, 2: 15,
    3: 20, 4: 15, 5: 20, 6: 15, 7: 10, 8: 8, 9: 20, 10: 15, 11: 14, 12: 12, 13: 10, 14: 8,
    15: 20, 16: 20, 17: 4, 18: 2, 19: 4, 20: 2,
    21: 2, 22: 2,
}

# Buckets per arrival row, per tank, as (first row, last row, amount). Rows
# are numbered from 1 (0:25) to 16 (7:50). The deadline tanks of the third
# column get their water in the rows before their deadline; the fourth and
# fifth columns get little of their own and live on what is pumped into them.
ARRIVALS = {
    0: [(1, 16, 2)],
    1: [(1, 16, 1)], 2: [(1, 16, 1)],
    3: [(1, 16, 1.5)], 4: [(1, 16, 1)], 5: [(1, 16, 1.5)], 6: [(1, 16, 1)],
    9: [(1, 16, 1.5)], 10: [(1, 16, 1)],
    11: [(1, 4, 4.5), (5, 16, 0.5)],
    12: [(1, 4, 4), (5, 16, 0.5)],
    7: [(1, 5, 5), (6, 16, 0.5)],
    13: [(1, 5, 5.5), (6, 16, 0.5)],
    8: [(1, 7, 5), (8, 16, 0.5)],
    14: [(1, 7, 5), (8, 16, 0.5)],
    15: [(1, 16, 1)], 16: [(1, 16, 1)],
    17: [(1, 10, 1.5)], 19: [(1, 10, 1.5)],
    18: [(1, 11, 1.5)], 20: [(1, 11, 1.5)],
    21: [(1, 13, 0.5)], 22: [(1, 16, 0.5)],
}


def arrival_rows():
    """[(minute, second, [water per tank])], the first row being the start."""
    rows = [(0, 0, [float(INITIAL.get(t, 0)) for t in range(TANKS)])]
    clock = 0
    for index, gap in enumerate(INTERVALS, start=1):
        clock += gap
        water = [0.0] * TANKS
        for tank, spans in ARRIVALS.items():
            for first, last, amount in spans:
                if first <= index <= last:
                    water[tank] += amount
        rows.append((clock // 60, clock % 60, water))
    return rows


def number(value):
    text = repr(float(value))
    return text[:-2] if text.endswith(".0") else text


def write_sql(out):
    out.write("-- The standard scenario of the water plant.\n")
    out.write("-- Written by tools/make_standard_scenario.py; change the numbers there.\n\n")
    out.write("-- Water arrivals: the first row is the content of the tanks at 0:00.\n")
    columns = ", ".join(['"Hr"', '"Min"'] + [f'"{t}"' for t in range(TANKS)])
    for minute, second, water in arrival_rows():
        values = ", ".join([str(minute), str(second)] + [number(w) for w in water])
        out.write(f'INSERT INTO "exogenous" ({columns}) VALUES ({values});\n')
    out.write("\n-- Deadlines, in time order; the last one ends the trial.\n")
    for tank, minute, second, amount in DEADLINES:
        out.write('INSERT INTO "deadline" ("TankNum", "Hr", "Min", "ExpectAmt") '
                  f"VALUES ({tank}, {minute}, {second}, {amount});\n")
    out.write("\n-- Outlets: a share of each bucket pumped out of head goes to tail (-1: out of the plant).\n")
    for head, tail, share in OUTLETS:
        out.write(f'INSERT INTO "sorttable" ("head", "tail", "sorta") VALUES ({head}, {tail}, {number(share)});\n')


def check_design():
    """Fails loudly when the tables break the rules the program relies on."""
    rows = arrival_rows()
    times = [m * 60 + s for m, s, _ in rows]
    assert times[0] == 0
    assert all(20 <= b - a <= 40 for a, b in zip(times, times[1:])), "arrivals every 20-40 s"
    assert times[-1] <= 480
    tanks = sorted(t for t, _, _, _ in DEADLINES)
    assert tanks == sorted([21, 22, 17, 18, 7, 8, 19, 20, 11, 12, 13, 14])
    ends = [m * 60 + s for _, m, s, _ in DEADLINES]
    assert ends == sorted(ends) and ends[-1] == 480
    assert all(s == 0 for _, _, s, _ in DEADLINES)
    for head in range(TANKS):
        mine = [(t, s) for h, t, s in OUTLETS if h == head]
        assert len(mine) < 10, f"tank {head}: room for the remainder entry"
        assert sum(s for _, s in mine) <= 1.0
        assert all(t == -1 or COLUMN[t] == COLUMN[head] + 1 for t, _ in mine)


# --- A small model of the plant, for --check -------------------------------

OFF, CLEAN, ON, QUEUED = 0, 1, 2, 3
PUMPS, CYCLE, CLEAN_CYCLES = 5, 2, 5


class Plant:
    def __init__(self):
        self.rows = arrival_rows()
        self.water = list(self.rows[0][2]) + [0.0]
        self.next_row = 1
        self.outs = {t: [(d, s) for h, d, s in OUTLETS if h == t] for t in range(TANKS)}
        self.deadline = {t: (m, s) for t, m, s, _ in DEADLINES}
        self.expect = {t: a for t, _, _, a in DEADLINES}
        self.status = [OFF] * 46
        self.pump = [0] * 46
        self.handover = [-1] * 46
        self.tick = [0] * 46
        self.queue = []
        self.allocated = 0
        self.releasing = 0
        self.minutes, self.seconds = 0, 0
        self.missed = 0

    def now(self):
        return self.minutes * 60 + self.seconds

    def in_use(self):
        return self.allocated - self.releasing

    def click(self, s):
        t = s // 2
        if self.status[s] == OFF:
            if self.water[t] >= 1 and self.allocated < PUMPS:
                self.pump[s], self.tick[s], self.status[s] = 1, 0, ON
                self.allocated += 1
            elif self.water[t] >= 1 and self.queue:
                x = self.queue.pop(0)
                self.handover[x], self.tick[x], self.status[s] = s, 0, QUEUED
                self.allocated += 1
        elif self.status[s] == ON:
            self.status[s], self.pump[s] = CLEAN, -CLEAN_CYCLES
            self.queue.append(s)

    def pump_cycle(self):
        for i in range(46):
            self.tick[i] += 1
            if self.tick[i] != CYCLE:
                continue
            self.tick[i] = 0
            t = i // 2
            if self.pump[i] < 0:
                self.pump[i] += 1
                if self.pump[i] == 0:
                    self.status[i] = OFF
                    j = self.handover[i]
                    if j == -1:
                        if i in self.queue:
                            self.queue.remove(i)
                    else:
                        self.tick[j], self.status[j], self.pump[j] = 0, ON, 1
                        self.handover[i] = -1
            if self.pump[i] > 0:
                if self.water[t] < 1:
                    self.queue.append(i)
                    self.status[i], self.pump[i] = CLEAN, -CLEAN_CYCLES
                else:
                    self.water[t] -= 1
                    if t in self.expect:
                        self.expect[t] -= 1
                    for d, share in self.outs[t]:
                        if d > 0:
                            self.water[d] += share
        self.allocated = sum(1 for p in self.pump if p != 0)
        self.releasing = sum(1 for i in range(46) if self.pump[i] < 0 and self.handover[i] == -1)

    def run(self, player):
        while True:
            if self.next_row < len(self.rows):
                m, s, water = self.rows[self.next_row]
                if (m, s) == (self.minutes, self.seconds):
                    for t in range(TANKS):
                        self.water[t] += water[t]
                    self.next_row += 1
            self.pump_cycle()
            for t, when in self.deadline.items():
                if when == (self.minutes, self.seconds):
                    self.missed += self.expect[t]
            if (self.minutes, self.seconds) == (8, 0):
                return self.missed
            self.seconds += 1
            if self.seconds == 60:
                self.minutes, self.seconds = self.minutes + 1, 0
            player(self)


def random_method(rng):
    """The program's Random method: random tanks with water and no pump."""
    def play(plant):
        used = plant.in_use()
        while used < PUMPS:
            eligible = [t for t in range(TANKS)
                        if plant.water[t] >= 1 and plant.pump[2 * t] == 0 and plant.pump[2 * t + 1] == 0]
            if not eligible:
                return
            plant.click(2 * rng.choice(eligible))
            used += 1
    return play


def careful(plant):
    """Works the open deadlines earliest first; feeds a deadline tank from
    upstream when its own water will not cover what it owes; lets go of pumps
    that no longer serve a deadline."""
    now = plant.now()
    feeders = {t: [h for h, d, _ in OUTLETS if d == t] for t in range(TANKS)}
    open_deadlines = sorted((m * 60 + s, t) for t, (m, s) in plant.deadline.items()
                            if m * 60 + s > now and plant.expect[t] > 0)

    def coming(t, until):
        return sum(w[t] for m, s, w in plant.rows[plant.next_row:] if m * 60 + s < until)

    wanted = []
    for when, t in open_deadlines:
        wanted.append(t)
        if plant.water[t] + coming(t, when) < plant.expect[t] + 4:
            wanted.extend(f for f in feeders[t] if f not in wanted)
    wanted = [t for t in wanted if plant.water[t] >= 3]

    for s in range(46):
        if plant.status[s] == ON and s // 2 not in wanted:
            plant.click(s)
    for t in wanted:
        for s in (2 * t, 2 * t + 1):
            if plant.in_use() >= PUMPS:
                return
            if plant.status[s] == OFF and plant.water[s // 2] >= 3:
                plant.click(s)


def check():
    check_design()
    total = sum(a for _, _, _, a in DEADLINES)
    arrived = sum(sum(w) for _, _, w in arrival_rows())
    print(f"buckets owed at deadlines: {total}; water in the plant at 0:00 plus arrivals: {arrived:.1f}")
    print(f"nobody pumping:      {Plant().run(lambda p: None)} missed")
    randoms = [Plant().run(random_method(random.Random(seed))) for seed in range(20)]
    print(f"Random method:       {min(randoms)} .. {max(randoms)} missed, mean {sum(randoms) / len(randoms):.0f}")
    print(f"careful player:      {Plant().run(careful)} missed")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--check", action="store_true", help="play the scenario through the model instead")
    args = parser.parse_args()
    if args.check:
        check()
    else:
        check_design()
        write_sql(sys.stdout)


if __name__ == "__main__":
    main()
