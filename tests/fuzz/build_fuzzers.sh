#!/usr/bin/env bash
# build_fuzzers.sh SOURCE BUILD TARGET...: builds the fuzzers of tests/fuzz with clang
# and its 32-bit libFuzzer in the build directory BUILD (unoptimised, to keep
# it quick; the sanitizers as in a fuzzing build), then runs each fuzzer once
# on each of its saved inputs and our writers' files.  The test suite runs it, so
# that the fuzzers keep building with clang as the loaders change.
#
# Exit status 77 (a skipped test) when clang or its 32-bit libFuzzer is not
# installed: `./dev test` installs them (clang, libclang-rt-14-dev).
set -euo pipefail
SOURCE=$1
BUILD=$2
shift 2
targets=("$@")
JOBS=${JOBS:-$(nproc 2>/dev/null || echo 2)}

if ! command -v clang++ >/dev/null || ! command -v clang >/dev/null; then
    echo "SKIPPED: clang is not installed; the fuzzers are not built (apt-get install clang libclang-rt-14-dev)"
    exit 77
fi
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' > "$probe/p.cpp"
if ! clang++ -m32 -fsanitize=fuzzer,address,undefined "$probe/p.cpp" -o "$probe/p" 2>/dev/null; then
    echo "SKIPPED: clang has no 32-bit libFuzzer; the fuzzers are not built (apt-get install libclang-rt-14-dev)"
    exit 77
fi

# Under user-mode emulation (a kernel that runs 32-bit programs through
# qemu) the leak check at a sanitised program's exit never ends.
if grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null; then
    export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0
fi

cmake -S "$SOURCE" -B "$BUILD" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DKORVALIS_FUZZ=ON -DCMAKE_BUILD_TYPE=FuzzCheck -DCMAKE_C_FLAGS_FUZZCHECK=-O0 \
      -DCMAKE_CXX_FLAGS_FUZZCHECK=-O0 >/dev/null
fuzzers=()
for t in "${targets[@]}"; do
    fuzzers+=("fuzz_$t")
done
cmake --build "$BUILD" -j "$JOBS" --target fuzz_seeds "${fuzzers[@]}"

seeds="$BUILD/fuzz-seeds"
rm -rf "$seeds"
"$BUILD/tests/fuzz/fuzz_seeds" "$seeds"
for t in "${targets[@]}"; do
    # Each input named on its own, run once (nothing new is written): a
    # 32-bit program cannot list a folder under emulation.  A loader the
    # fuzzer has found nothing in has no saved inputs.
    mapfile -t inputs < <(find "$seeds/$t" "$SOURCE/tests/fuzz/corpus/$t" -type f 2>/dev/null | sort)
    if [ ${#inputs[@]} -eq 0 ]; then
        echo "fuzz_$t: no inputs to run"
        exit 1
    fi
    if ! "$BUILD/tests/fuzz/fuzz_$t" -close_fd_mask=1 "${inputs[@]}" \
            > "$BUILD/fuzz_$t.log" 2>&1; then
        tail -40 "$BUILD/fuzz_$t.log"
        echo "fuzz_$t failed on its saved inputs"
        exit 1
    fi
    echo "fuzz_$t: built, ran $(grep -c '^Executed ' "$BUILD/fuzz_$t.log") of ${#inputs[@]} inputs"
done
