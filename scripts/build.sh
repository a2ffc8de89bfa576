#!/usr/bin/env bash
# build.sh [native|programs|asan|tsan|fuzz|mingw64|mingw32] [TARGET...]:
# configure and build one flavour of the project in build/<flavour> (all of
# it, or the targets named). Warnings are errors in every flavour.
# "programs" is the native ukavlen and kavlen-sim alone, without Qt and
# GoogleTest; "tsan" is the tests that start threads (the target
# thread_tests, unless others are named) under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

flavour=${1:-native}
shift || true
dir=build/$flavour
args=(-G Ninja -DKAVLEN_WERROR=ON)
case "$flavour" in
  native)
    args+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  programs)
    args+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVLEN_BUILD_GUI=OFF -DKAVLEN_BUILD_TESTS=OFF) ;;
  asan)
    args+=(-DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_C_COMPILER=clang-14
           "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
           "-DCMAKE_C_FLAGS=-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
           "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined") ;;
  tsan)
    args+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_C_COMPILER=clang-14
           -DKAVLEN_BUILD_GUI=OFF
           "-DCMAKE_CXX_FLAGS=-fsanitize=thread -fno-omit-frame-pointer"
           "-DCMAKE_C_FLAGS=-fsanitize=thread -fno-omit-frame-pointer"
           "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread")
    [ $# -gt 0 ] || set -- thread_tests ;;
  fuzz)
    # the libFuzzer targets and the libraries they link, instrumented
    args+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_C_COMPILER=clang-14
           -DKAVLEN_BUILD_GUI=OFF -DKAVLEN_BUILD_TESTS=OFF -DKAVLEN_BUILD_FUZZERS=ON
           "-DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
           "-DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
           "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined") ;;
  mingw64)
    args+=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake) ;;
  mingw32)
    args+=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake) ;;
  *)
    echo "usage: $0 [native|programs|asan|tsan|fuzz|mingw64|mingw32] [TARGET...]" >&2; exit 2 ;;
esac

cmake -S . -B "$dir" "${args[@]}" >/dev/null
ninja -C "$dir" "$@"
