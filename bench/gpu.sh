#!/bin/sh
# The engine benchmarks on a machine with an NVIDIA GPU: host cost per filter,
# compute filters against a bare dispatch at 1920 x 1080 and 3840 x 2160, and
# the share of the card's DRAM bandwidth that add, gamma and copy reach at
# 3840 x 2160 (bytes each pass reads and writes, over its time with glFinish,
# against the card's peak).
#
#   bench/gpu.sh [BUILD_DIR]          (default: build; built if missing)
#   PEAK_GBS=3350 bench/gpu.sh        the card's peak in GB/s, when the table
#                                     below does not know it
#
# Needs the NVIDIA driver's EGL (libnvidia-egl, a hardware EGL device),
# nvidia-smi, python3 and the build's dependencies.
set -eu
BUILD=${1:-build}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
if [ ! -x "$BUILD/bin/ondo_bench_engine" ]; then
    cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release
    cmake --build "$BUILD" -j"$(nproc)" --target ondo_benchmarks ondo-run
fi
# The hardware device, never llvmpipe: a run on the CPU would say nothing.
export ONDO_GL_PLATFORM=device
"$BUILD/bin/ondo-run" --gl-info
NAME=$(nvidia-smi --query-gpu=name --format=csv,noheader | head -n 1)
echo "GPU: $NAME"
nvidia-smi --query-gpu=driver_version,clocks.max.memory,memory.total --format=csv

OUT=$(mktemp -d)
trap 'rm -rf "$OUT"' EXIT
"$BUILD/bin/ondo_bench_engine" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    --benchmark_format=console --benchmark_out="$OUT/engine.json" --benchmark_out_format=json

NAME="$NAME" PEAK_GBS="${PEAK_GBS:-}" python3 - "$OUT/engine.json" <<'PY'
import json, os, sys

# Peak DRAM bandwidth, GB/s, from the cards' data sheets.
PEAKS = [("H200", 4800), ("H100 NVL", 3900), ("H100 PCIe", 2000), ("H100", 3350),
         ("A100-SXM4-80GB", 2039), ("A100 80GB PCIe", 1935), ("A100", 1555),
         ("L40S", 864), ("L40", 864), ("L4", 300), ("A10", 600), ("T4", 320),
         ("RTX 4090", 1008), ("RTX 3090", 936)]
name = os.environ["NAME"]
peak = float(os.environ["PEAK_GBS"]) if os.environ.get("PEAK_GBS") else None
if peak is None:
    peak = next((gbs for key, gbs in PEAKS if key in name), None)
runs = {b["run_name"]: b for b in json.load(open(sys.argv[1]))["benchmarks"]
        if b.get("aggregate_name") == "median"}

print("\nhost cost per filter per frame (target <= 2 us, flat):")
for n in (250, 1000, 4000, 16000):
    b = runs.get("HostCostPerFilter/%d" % n)
    if b:
        print("  %6d filters: %.3f us" % (n, b["per_filter"] * 1e6))

names = {0: "gamma", 1: "add", 2: "copy"}
print("\nfilter frame against a bare dispatch (target <= 5 %% over):")
for case, label in names.items():
    for width in (1920, 3840):
        key = "filter:%d/width:%d/real_time" % (case, width)
        f, b = runs.get("FilterFrame/" + key), runs.get("BareDispatch/" + key)
        if f and b:
            print("  %-5s %4d wide: filter %.3f ms, bare %.3f ms, %+.1f %%" % (
                label, width, f["real_time"], b["real_time"], 100.0 * (f["real_time"] / b["real_time"] - 1.0)))

print("\nshare of DRAM bandwidth at 3840 x 2160 (peak %s GB/s):" % (peak if peak else "unknown; set PEAK_GBS"))
for case, label in names.items():
    for kind in ("FilterFrame", "BareDispatch"):
        b = runs.get("%s/filter:%d/width:3840/real_time" % (kind, case))
        if b:
            gbs = b["bytes_per_second"] / 1e9
            share = " = %.0f %% of peak" % (100.0 * gbs / peak) if peak else ""
            print("  %-5s %-12s %7.1f GB/s%s" % (label, kind, gbs, share))
PY
