"""Lays out a small trie as four node arrays and walks it with the node queries.

The trie holds the keys "cd" (payload 5) and "a" (payload 7):

    node 0 (root) --'c'--> node 1 --'d'--> node 2 [5]
                  --'a'--> node 3 [7]
"""

import _quorvatine

node_shifts = [0, 2, 3, 3]  # where each node's children begin in child_indices
node_strings = ["", "c", "d", "a"]  # the code point on the edge into each node
node_payloads = [None, None, 5, 7]  # the value attached to each node, if any
child_indices = [1, 3, 2]  # children grouped by parent, in listing order


def main():
    trie = _quorvatine.from_internal_data(node_shifts, node_strings, node_payloads, child_indices)
    print("node  child range  get_children          get_payload")
    for node in range(len(node_shifts)):
        start = node_shifts[node]
        end = node_shifts[node + 1] if node + 1 < len(node_shifts) else len(child_indices)
        children = trie.get_children(node)
        print(f"{node:<6}{f'{start}..{end}':<13}{children!s:<22}{trie.get_payload(node)}")

    print()
    print("keys found by walking from the root:")
    stack = [(0, "")]
    while stack:
        node, text = stack.pop()
        payload = trie.get_payload(node)
        if payload is not None:
            print(f"  {text!r} -> {payload}")
        stack.extend((child, text + char) for char, child in reversed(trie.get_children(node)))


if __name__ == "__main__":
    main()
