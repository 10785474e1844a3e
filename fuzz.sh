#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer and UBSan) in build-fuzz/ and
# runs each for the given number of seconds (default 60): the three image decoders, the model
# reader and the INI reader. Each is seeded with what there is: the sample corpus, the generator's
# own data files, the hand-made seeds in fuzz/seeds/ and the regression files the tests replay.
# Limits per input: 1 s and 256 MB. Findings are written to build-fuzz/crash-<target>-*; the
# script exits non-zero when any target found one.
# Usage: ./fuzz.sh [seconds] [bmp|jpg|tga|model|ini ...]
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh
# The symbolizer (llvm) names the functions, files and lines of a finding's stack.
vadrel_install_packages "${VADREL_BUILD_PACKAGES[@]}" "${VADREL_SANITIZE_PACKAGES[@]}" \
  clang libclang-rt-14-dev imagemagick
Seconds=${1:-60}
shift || true
Targets=("$@")
[ ${#Targets[@]} -eq 0 ] && Targets=(bmp jpg tga model ini)

Sanitizers="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DVADREL_FUZZ=ON -DVADREL_TESTS=OFF -DVADREL_BENCH=OFF -DVADREL_WERROR="$(vadrel_werror)" \
  -DCMAKE_C_FLAGS="$Sanitizers -fsanitize=fuzzer-no-link" \
  -DCMAKE_CXX_FLAGS="$Sanitizers -fsanitize=fuzzer-no-link" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target $(printf 'fuzz_%s ' "${Targets[@]}") vadrel_data

# The sample files beside the project, or where VADREL_CORPUS_DIR says (as for the tests).
Corpus=${VADREL_CORPUS_DIR:-../shared/corpus}/images
Data=build-fuzz/data
# libFuzzer's memory limit is on the peak resident size: keep AddressSanitizer's quarantine of
# freed blocks (256 MB by default) small enough to leave the limit to the readers.
export ASAN_OPTIONS="quarantine_size_mb=16:detect_leaks=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
Status=0
for Target in "${Targets[@]}"; do
  Work=build-fuzz/corpus-$Target
  mkdir -p "$Work"
  Seeds=()
  Options=()
  [ -d "fuzz/seeds/$Target" ] && Seeds+=("fuzz/seeds/$Target")
  [ -d "tests/regressions/$Target" ] && Seeds+=("tests/regressions/$Target")
  case $Target in
    bmp) [ -d "$Corpus/bmp" ] && Seeds+=("$Corpus/bmp/bmpsuite/g" "$Corpus/bmp/bmpsuite/q" "$Corpus/bmp/bmpsuite/b" "$Corpus/bmp/bmpsuite/x") ;;
    tga) [ -d "$Corpus/tga" ] && Seeds+=("$Corpus/tga/conformance" "$Corpus/tga/fileformat" "$Corpus/tga/ftrvxmtrx" "$Corpus/tga/tombexcavator") ;;
    jpg)
      # The corpus has no JPEGs: make a few seeds (baseline, progressive, greyscale, odd size).
      if command -v convert >/dev/null && [ -f "$Corpus/bmp/bmpsuite/g/rgb24.bmp" ]; then
        mkdir -p build-fuzz/seeds-jpg
        Src=$Corpus/bmp/bmpsuite/g/rgb24.bmp
        convert "$Src" -quality 80 build-fuzz/seeds-jpg/baseline.jpg
        convert "$Src" -interlace JPEG build-fuzz/seeds-jpg/progressive.jpg
        convert "$Src" -colorspace Gray build-fuzz/seeds-jpg/grey.jpg
        convert "$Src" -resize 33x17! -sampling-factor 2x2 build-fuzz/seeds-jpg/odd.jpg
        convert "$Src" -resize 8x8 -colorspace CMYK build-fuzz/seeds-jpg/cmyk.jpg
        Seeds+=(build-fuzz/seeds-jpg)
      fi ;;
    model)
      # The generator's models in full: the mutator works on their first max_len bytes, which
      # are a file of their own (the reader takes any prefix).
      mkdir -p build-fuzz/seeds-model
      cp "$Data/Vadrel.pp1" "$Data/Vadrel.pp2" build-fuzz/seeds-model/
      Seeds+=(build-fuzz/seeds-model)
      Options+=(-dict=fuzz/model.dict -max_len=8192) ;;
    ini)
      mkdir -p build-fuzz/seeds-ini
      cp "$Data/Vadrel.ini" build-fuzz/seeds-ini/
      Seeds+=(build-fuzz/seeds-ini)
      Options+=(-dict=fuzz/ini.dict -max_len=4096) ;;
  esac
  echo "== fuzz_$Target for ${Seconds}s (seeds: ${Seeds[*]:-none})"
  # New inputs go to the work folder; the seed folders are only read.
  if ! ./build-fuzz/fuzz/fuzz_$Target -max_total_time="$Seconds" -rss_limit_mb=256 -timeout=1 \
       -artifact_prefix=build-fuzz/crash-$Target- -print_final_stats=1 "${Options[@]}" \
       "$Work" "${Seeds[@]}"; then
    Status=1
  fi
done
exit $Status
