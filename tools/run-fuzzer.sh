#!/bin/bash
# Runs a libFuzzer target on its committed seeds for a bounded time.
#   run-fuzzer.sh <fuzzer> <seed dir> <work dir>
# PELMORA_FUZZ_SECONDS sets the time (default 10 s).
set -euo pipefail
fuzzer="$1" seeds="$2" work="$3" seconds="${PELMORA_FUZZ_SECONDS:-10}"
mkdir -p "$work"
exec "$fuzzer" -max_total_time="$seconds" -print_final_stats=1 "$work" "$seeds"
