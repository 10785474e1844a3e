#!/usr/bin/env bash
# Builds the image-decoder fuzzers with clang (libFuzzer + AddressSanitizer) in build-fuzz/ and runs
# each for the given number of seconds (default 60), seeded with the sample corpus when present.
# Usage: ./fuzz.sh [seconds] [bmp|jpg|tga ...]
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh
vadrel_install_packages "${VADREL_BUILD_PACKAGES[@]}" clang libclang-rt-14-dev imagemagick
Seconds=${1:-60}
shift || true
Targets=("$@")
[ ${#Targets[@]} -eq 0 ] && Targets=(bmp jpg tga)

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DVADREL_FUZZ=ON -DVADREL_TESTS=OFF -DVADREL_BENCH=OFF \
  -DCMAKE_C_FLAGS="-fsanitize=address,fuzzer-no-link" \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,fuzzer-no-link" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address" >/dev/null
cmake --build build-fuzz --target $(printf 'fuzz_%s ' "${Targets[@]}")

# The sample files beside the project, or where VADREL_CORPUS_DIR says (as for the tests).
Corpus=${VADREL_CORPUS_DIR:-../shared/corpus}/images
Status=0
for Target in "${Targets[@]}"; do
  Work=build-fuzz/corpus-$Target
  mkdir -p "$Work"
  Seeds=()
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
  esac
  echo "== fuzz_$Target for ${Seconds}s (seeds: ${#Seeds[@]} folders)"
  # New inputs go to the work folder; the seed folders are only read.
  if ! ./build-fuzz/fuzz/fuzz_$Target -max_total_time="$Seconds" -rss_limit_mb=2048 -timeout=10 \
       -artifact_prefix=build-fuzz/crash-$Target- -print_final_stats=1 \
       "$Work" "${Seeds[@]}"; then
    Status=1
  fi
done
exit $Status
