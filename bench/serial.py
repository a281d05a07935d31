"""Saving and loading a large trie: to_bytes/from_bytes against pickling the four arrays.

Builds a trie of about a million nodes from Debian's wamerican-insane word list
(installed with apt-get when missing) and times, side by side in one run:
  save: PrefixSearch.to_bytes()         vs  pickle.dumps of the four lists
  load: from_bytes(data)                vs  pickle.loads, then from_internal_data
Prints the best of several runs, the ratios and the sizes. Run with the extension
importable, e.g. `.venv/bin/python bench/serial.py`.
"""

import os
import pickle
import subprocess
import sys
import time

import _quorvatine

WORD_LIST = "/usr/share/dict/american-english-insane"
REPEATS = 5


def ensure_word_list():
    if os.path.exists(WORD_LIST):
        return
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    install = ["apt-get", "install", "-y", "-qq", "wamerican-insane"]
    if subprocess.run(install, env=env, stdout=subprocess.DEVNULL).returncode != 0:
        subprocess.run(["apt-get", "update", "-qq"], env=env, check=True)
        subprocess.run(install, env=env, stdout=subprocess.DEVNULL, check=True)


def read_words():
    with open(WORD_LIST, encoding="utf-8") as lines:
        return sorted({line.rstrip("\n") for line in lines if line.strip()})


def minimal_layout(words):
    """Breadth-first layout: each node's children are consecutive in child_indices."""
    end = object()
    root = {}
    for payload, word in enumerate(words):
        node = root
        for char in word:
            node = node.setdefault(char, {})
        node[end] = payload
    shifts, strings, payloads, children = [], [""], [root.pop(end, None)], []
    queue = [root]
    for node in queue:  # the queue grows while it is walked
        shifts.append(len(children))
        for char in sorted(node):
            child = node[char]
            children.append(len(strings))
            strings.append(char)
            payloads.append(child.pop(end, None))
            queue.append(child)
    return shifts, strings, payloads, children


def layout(words):
    try:
        from quorvatine import layout as package_layout
    except ImportError:
        return minimal_layout(words), "minimal layout in this script"
    arrays = package_layout(words)
    if len(arrays) != 4:
        return minimal_layout(words), "minimal layout in this script"
    return tuple(list(array) for array in arrays), "quorvatine.layout"


def best_time(action):
    best, result = float("inf"), None
    for _ in range(REPEATS):
        start = time.perf_counter()
        result = action()
        best = min(best, time.perf_counter() - start)
    return best, result


def main():
    ensure_word_list()
    words = read_words()
    arrays, how = layout(words)
    trie = _quorvatine.from_internal_data(*arrays)
    print(f"{len(words)} words, {len(arrays[1])} nodes ({how})")

    ours_save, data = best_time(trie.to_bytes)
    pickle_save, blob = best_time(lambda: pickle.dumps(arrays, protocol=pickle.HIGHEST_PROTOCOL))
    ours_load, loaded = best_time(lambda: _quorvatine.from_bytes(data))
    pickle_load, _ = best_time(lambda: _quorvatine.from_internal_data(*pickle.loads(blob)))
    print(f"from_bytes(to_bytes()) gives the same bytes: {loaded.to_bytes() == data}")

    print(f"{'':6}{'to_bytes/from_bytes':>22}{'pickle (+from_internal_data)':>32}{'ratio':>9}")
    for name, ours, theirs in (("save", ours_save, pickle_save), ("load", ours_load, pickle_load)):
        print(f"{name:6}{ours * 1e3:>19.1f} ms{theirs * 1e3:>29.1f} ms{theirs / ours:>8.1f}x")
    print(f"{'size':6}{len(data):>16,} bytes{len(blob):>26,} bytes{len(blob) / len(data):>8.1f}x")
    print("goal: ratio >= 5x for save and load")


if __name__ == "__main__":
    sys.exit(main())
