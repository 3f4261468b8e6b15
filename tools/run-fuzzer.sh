#!/bin/bash
# Runs a libFuzzer target on its committed seeds for a bounded time.
#   run-fuzzer.sh <fuzzer> <seed dir> <work dir> [seconds, default 10]
set -euo pipefail
fuzzer="$1" seeds="$2" work="$3" seconds="${4:-10}"
mkdir -p "$work"
exec "$fuzzer" -max_total_time="$seconds" -print_final_stats=1 "$work" "$seeds"
