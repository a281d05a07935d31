"""Start-up cost of the command line: `python -m quorvatine speling` against
`python -c pass`, run alternately, medians of wall-clock times.

    .venv/bin/python bench/startup.py [ROUNDS]
"""

import statistics
import subprocess
import sys
import time


def wall(args: list[str]) -> float:
    start = time.perf_counter()
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - start


def main() -> None:
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 15
    commands = {
        "python -c pass": [sys.executable, "-c", "pass"],
        "python -c 'import quorvatine'": [sys.executable, "-c", "import quorvatine"],
        "python -m quorvatine speling": [sys.executable, "-m", "quorvatine", "speling"],
    }
    times: dict[str, list[float]] = {name: [] for name in commands}
    for _ in range(rounds):
        for name, args in commands.items():
            times[name].append(wall(args))
    base = statistics.median(times["python -c pass"])
    for name, samples in times.items():
        median = statistics.median(samples)
        print(f"{name:32} {median * 1000:7.1f} ms  (+{(median - base) * 1000:6.1f} ms)")


if __name__ == "__main__":
    main()
