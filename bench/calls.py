"""Cost of one node query next to one dict.get on a small dict, measured side by side.

Prints nanoseconds per call (best of several interleaved rounds) and the ratio
to `d.get(1)`. The goal for `get_payload` is at most 2x. Nothing is asserted.
"""

import sys
import timeit

import _quorvatine

NUMBER = 1_000_000
ROUNDS = 7

p = _quorvatine.from_internal_data([0, 2, 3, 3], ["", "c", "d", "a"], [None, None, 5, 7], [1, 3, 2])
d = {0: None, 1: None, 2: 5, 3: 7}

STATEMENTS = ["d.get(1)", "p.get_payload(1)", "p.get_children(0)"]


def main():
    timers = {s: timeit.Timer(s, globals={"p": p, "d": d}) for s in STATEMENTS}
    best = dict.fromkeys(STATEMENTS, float("inf"))
    for _ in range(ROUNDS):  # interleaved, so that drift hits every statement alike
        for statement, timer in timers.items():
            best[statement] = min(best[statement], timer.timeit(NUMBER) / NUMBER)
    baseline = best["d.get(1)"]
    print(f"Python {sys.version.split()[0]}, best of {ROUNDS} x {NUMBER:,} calls")
    print(f"{'statement':<20}{'ns/call':>10}{'vs d.get(1)':>14}")
    for statement in STATEMENTS:
        print(f"{statement:<20}{best[statement] * 1e9:>10.1f}{best[statement] / baseline:>13.2f}x")


if __name__ == "__main__":
    main()
