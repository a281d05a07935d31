#!/usr/bin/env bash
# Prepares the benchmarks: Debian's word lists (wpolish for the build
# benchmark only), codespell and LibreOffice's autocorrect list, the virtual
# environment .venv-bench with the comparison tools, and the project built
# from this tree (Release). Quick when everything is already there.
#
# The benchmark has its own environment, apart from the dev environment .venv,
# so that the comparison tools (and numpy) never sit beside the test suite,
# where a test could come to rely on them unnoticed, and so that a benchmark
# run cannot disturb what `make test` builds.
set -euo pipefail
cd "$(dirname "$0")/.."

PYTHON=${PYTHON:-python3}
VENV=${BENCH_VENV:-.venv-bench}
VPY="$VENV/bin/python"

missing=""
for p in wamerican wamerican-insane wngerman wpolish wbritish-huge wukrainian codespell aspell aspell-en \
    hunspell hunspell-en-us; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "installing Debian packages:$missing"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null
fi

# The misspellings of bench/quality.py and bench/spelling.py: LibreOffice's
# English autocorrect lists, taken out of Debian's libreoffice-common without
# installing it (its dependencies are an office suite), with the package's
# copyright notice.
QUALITY_DATA=build/bench-data/libreoffice
if [ ! -f "$QUALITY_DATA/usr/lib/libreoffice/share/autocorr/acor_en-GB.dat" ]; then
  rm -rf "$QUALITY_DATA" && mkdir -p "$QUALITY_DATA"
  (cd "$QUALITY_DATA" && { apt-get download -qq libreoffice-common 2>/dev/null \
    || { apt-get update -qq && apt-get download -qq libreoffice-common; }; })
  deb=$(ls "$QUALITY_DATA"/libreoffice-common_*.deb)
  dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$QUALITY_DATA" \
    ./usr/lib/libreoffice/share/autocorr/acor_en-US.dat ./usr/lib/libreoffice/share/autocorr/acor_en-GB.dat \
    ./usr/lib/libreoffice/share/autocorr/acor_en-AU.dat ./usr/lib/libreoffice/share/autocorr/acor_en-ZA.dat \
    ./usr/share/doc/libreoffice-common/copyright
  dpkg-deb -f "$deb" Version >"$QUALITY_DATA/VERSION"
  rm "$deb"
fi

[ -x "$VPY" ] || "$PYTHON" -m venv "$VENV"
if ! cmp -s bench/requirements.txt "$VENV/.bench-requirements"; then
  "$VPY" -m pip install -q --upgrade pip
  "$VPY" -m pip install -q -r bench/requirements.txt
  cp bench/requirements.txt "$VENV/.bench-requirements"
fi

# fuzzytrie is not installed: every form of it (source or wheel) is built on
# a third-party Python binding framework that this project does not use or
# run. The benchmark reports it as not run.

# The project from this tree, in a build directory of its own (incremental).
"$VPY" -m pip install -q --no-build-isolation --no-deps -C 'build-dir=build/bench/{wheel_tag}' .
