#!/usr/bin/env bash
# Runs the gridding benchmark, then gstat's kriging on the samples it wrote.
# Arguments go to the benchmark program, e.g.
#   bench/numeric/gridding_run.sh --benchmark_filter=Krigin --benchmark_repetitions=3
# GSTAT_SIZES (default "500 2000") picks the gstat grids; GSTAT=0 skips gstat.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bin="$root/build/bench/bench/numeric/gridding_bench"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
uptime
"$bin" "$@"
if [ "${GSTAT:-1}" != 0 ]; then
  # shellcheck disable=SC2086
  Rscript "$root/bench/numeric/gridding_gstat.R" "$work" ${GSTAT_SIZES:-500 2000}
fi
uptime
