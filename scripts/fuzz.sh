#!/usr/bin/env bash
# Runs every fuzz target (or those whose name matches REGEX) for SECONDS,
# with its dictionary, the seed corpus and what earlier runs learnt, at most
# FUZZ_JOBS (3) at a time, then prints each target's executions, coverage
# and findings. Findings are written to build/sanitize/tests/fuzz/artifacts.
#
#   bash scripts/fuzz.sh SECONDS [REGEX]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:?usage: scripts/fuzz.sh SECONDS [REGEX]}
filter=${2:-fuzz_}
JOBS=${JOBS:-3} bash scripts/build-sanitize.sh "$seconds" >/dev/null

logs=build/sanitize/tests/fuzz/logs
mkdir -p "$logs"
log=$logs/fuzz-$(date +%Y%m%d-%H%M%S).log
status=0
(cd build/sanitize && ctest -L fuzz -R "$filter" -j "${FUZZ_JOBS:-3}" -V) >"$log" 2>&1 || status=$?

# ctest -V prefixes every line with the test's number; the command line
# names the target. The figures are libFuzzer's last status line and its
# final statistics.
printf '%-22s %12s %7s %7s %s\n' target executions cov ft findings
grep -E '^[0-9]+: Test command: [^ ]*/fuzz_' "$log" | sort -t/ -k2 | while read -r line; do
  number=${line%%:*}
  target=$(sed -E 's|.*/(fuzz_[A-Za-z_]+) .*|\1|' <<<"$line")
  output=$(grep -E "^$number: " "$log")
  last=$(grep -E '^[0-9]+: #[0-9]+.*cov: ' <<<"$output" | tail -n1 || true)
  printf '%-22s %12s %7s %7s %s\n' "$target" \
    "$(sed -nE 's/.*number_of_executed_units: ([0-9]+).*/\1/p' <<<"$output")" \
    "$(sed -nE 's/.* cov: ([0-9]+).*/\1/p' <<<"$last")" \
    "$(sed -nE 's/.* ft: ([0-9]+).*/\1/p' <<<"$last")" \
    "$(grep -c 'Test unit written to' <<<"$output" || true)"
done
grep -h 'Test unit written to' "$log" | sed 's/^[0-9]*: /finding: /' || true
echo "log: $log"
exit "$status"
