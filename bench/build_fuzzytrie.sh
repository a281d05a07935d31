#!/usr/bin/env bash
# Installs fuzzytrie 0.3.0 into a virtual environment when no crate registry
# is reachable. fuzzytrie ships on PyPI as Rust source only (no wheels), and
# its build fetches pyo3 0.25 and nohash-hasher from crates.io. This builds the
# same published source against the Rust crates Debian packages instead:
#   - trie.rs and automaton.rs (the trie and the Levenshtein automaton that
#     are benchmarked) are compiled unchanged;
#   - lib.rs, the module entry point, is rewritten for Debian's pyo3 0.17
#     (the module function takes `&PyModule` there instead of `&Bound<PyModule>`);
#   - nohash-hasher (an identity hasher for integer keys, not packaged by
#     Debian) is replaced by a local crate of the same name and behaviour.
# The result is installed as version 0.3.0+pyo3.0.17, so the benchmark's
# output says which build ran.
#
# Usage: bench/build_fuzzytrie.sh VENV_PYTHON
set -euo pipefail

py=$(realpath -s "${1:?usage: $0 VENV_PYTHON}")  # absolute: the build runs elsewhere
version=0.3.0

if ! command -v cargo >/dev/null; then
  if [ -x "$HOME/.cargo/bin/cargo" ]; then
    PATH="$HOME/.cargo/bin:$PATH"
  fi
fi
need=""
command -v cargo >/dev/null || need="$need cargo"
dpkg-query -W -f='${Status}' librust-pyo3-dev 2>/dev/null | grep -q "ok installed" || need="$need librust-pyo3-dev"
if [ -n "$need" ]; then
  echo "installing Debian packages:$need"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $need >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The published source. pip unpacks the sdist and then fails to prepare its
# metadata (that step needs crates.io too); --no-clean keeps the unpacked tree.
TMPDIR="$work" "$py" -m pip download -q --no-deps --no-binary :all: --no-build-isolation \
  --no-clean -d "$work/dl" "fuzzytrie==$version" >/dev/null 2>&1 || true
if [ -f "$work/dl/fuzzytrie-$version.tar.gz" ]; then
  tar -xzf "$work/dl/fuzzytrie-$version.tar.gz" -C "$work"
  src="$work/fuzzytrie-$version"
else
  src=$(find "$work" -maxdepth 2 -type d -name 'fuzzytrie_*' | head -n 1)
fi
if [ -z "$src" ] || [ ! -f "$src/fuzzytrie/src/trie.rs" ]; then
  echo "could not fetch the fuzzytrie $version source from PyPI" >&2
  exit 1
fi

crate="$src/fuzzytrie"
rm -f "$crate/Cargo.lock"
cat >"$crate/Cargo.toml" <<EOF
[package]
name = "fuzzytrie"
version = "$version+pyo3.0.17"
edition = "2021"

[lib]
name = "fuzzytrie"
crate-type = ["cdylib"]

[dependencies]
pyo3 = "0.17"
nohash-hasher = { path = "nohash-hasher" }
EOF

cat >"$crate/src/lib.rs" <<'EOF'
pub mod automaton;
pub mod trie;

use crate::trie::FuzzyTrie;
use pyo3::prelude::*;

#[pymodule]
fn fuzzytrie(_py: Python<'_>, m: &PyModule) -> PyResult<()> {
    m.add_class::<FuzzyTrie>()?;
    Ok(())
}
EOF

mkdir -p "$crate/nohash-hasher/src"
cat >"$crate/nohash-hasher/Cargo.toml" <<'EOF'
[package]
name = "nohash-hasher"
version = "0.2.0"
edition = "2021"
EOF
cat >"$crate/nohash-hasher/src/lib.rs" <<'EOF'
//! A hasher that passes an integer key through unchanged.
use std::hash::{BuildHasherDefault, Hasher};
use std::marker::PhantomData;

pub struct NoHashHasher<T>(u64, PhantomData<T>);

impl<T> Default for NoHashHasher<T> {
    fn default() -> Self {
        NoHashHasher(0, PhantomData)
    }
}

impl<T> Hasher for NoHashHasher<T> {
    fn write(&mut self, _: &[u8]) {
        panic!("NoHashHasher hashes integers only")
    }
    fn write_u8(&mut self, n: u8) { self.0 = u64::from(n) }
    fn write_u16(&mut self, n: u16) { self.0 = u64::from(n) }
    fn write_u32(&mut self, n: u32) { self.0 = u64::from(n) }
    fn write_u64(&mut self, n: u64) { self.0 = n }
    fn write_usize(&mut self, n: usize) { self.0 = n as u64 }
    fn write_i8(&mut self, n: i8) { self.0 = n as u64 }
    fn write_i16(&mut self, n: i16) { self.0 = n as u64 }
    fn write_i32(&mut self, n: i32) { self.0 = n as u64 }
    fn write_i64(&mut self, n: i64) { self.0 = n as u64 }
    fn write_isize(&mut self, n: isize) { self.0 = n as u64 }
    fn finish(&self) -> u64 { self.0 }
}

pub type BuildNoHashHasher<T> = BuildHasherDefault<NoHashHasher<T>>;
EOF

# Crates come from Debian's registry directory, and nothing is fetched.
for dir in "$src" "$crate"; do
  mkdir -p "$dir/.cargo"
  cat >"$dir/.cargo/config.toml" <<'EOF'
[source.crates-io]
replace-with = "debian"

[source.debian]
directory = "/usr/share/cargo/registry"

[net]
offline = true
EOF
done

"$py" -m pip install -q maturin
(cd "$src" && PATH="$(dirname "$py"):$PATH" PYO3_PYTHON="$py" "$py" -m pip install -q --no-build-isolation --no-deps .)
"$py" -c 'import fuzzytrie; fuzzytrie.FuzzyTrie()'
echo "fuzzytrie $version built against Debian's pyo3 0.17 and installed"
