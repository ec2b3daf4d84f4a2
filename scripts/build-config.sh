# Sourced by scripts/run.sh and scripts/test.sh: the one configuration of the shared build folder
# build/, so the program and the tests are compiled once, with the same options (warnings as
# errors, tests and benchmarks on). run.sh builds only what the program needs from it, test.sh
# builds the rest. The sanitizer build (build-asan/) and the fuzz build (build-fuzz/) keep their own.
tolbe_build=build
tolbe_configure() {
  cmake -S . -B "$tolbe_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLBE_WERROR=ON \
    -DTOLBE_SANITIZE=OFF -DTOLBE_FUZZ=OFF -DTOLBE_BUILD_GUI=ON -DTOLBE_BUILD_TESTS=ON -DTOLBE_BUILD_BENCH=ON
}
