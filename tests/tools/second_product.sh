#!/usr/bin/env bash
# second_product.sh <source> <build> <twpack>: builds the example product in
# examples/LarkspurViewer with its own vendor, channel and module name, in a
# build folder of its own beside <build>, publishes its application on the
# loopback peers, and runs the test that installs and removes it under Wine.
set -euo pipefail
source="$1"; build="$2"; twpack="$3"
example="$build/../larkspur"
cmake -S "$source" -B "$example" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw-i686.cmake" -DTW_PACK_TOOL="$twpack" -DTW_BUILD_TESTS=OFF \
  -C "$source/examples/LarkspurViewer/settings.cmake" >/dev/null
ninja -C "$example" TW.Install.UI2 >/dev/null
"$twpack" publish "$example/examples/LarkspurViewer/Viewer.exe" "$build/testdata/www/files/Viewer.body" >/dev/null
bin="$(cd "$example/bin" && pwd)"
export TW_SECOND_PRODUCT="Z:${bin//\//\\}"
cd "$build/tests/TW.Install.UI2"
/usr/lib/wine/wine SetupTests.exe --gtest_brief=1 --gtest_filter='SecondProduct.*' </dev/null
