# The build step of mirvak.sh: what the program needs to run, and nothing else.
# Sourced by mirvak.sh and by the test of that step.

# The configurator, the loader library it loads at run time, and the controller
# simulator that the README's trials talk to.
PROGRAM_TARGETS=(Mirvak SarnupolexLib controller-sim)

# build_program BUILD_DIR [JOBS]: builds PROGRAM_TARGETS in BUILD_DIR with JOBS jobs (the
# processor count by default). A folder not yet configured is configured once from the
# default preset; afterwards the build reconfigures by itself when a CMake file changes.
build_program() {
  local dir=$1 jobs=${2:-$(nproc)} top
  top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
  if [ ! -f "$dir/CMakeCache.txt" ] || [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$top" --preset default -B "$dir"
  fi
  cmake --build "$dir" --target "${PROGRAM_TARGETS[@]}" -j "$jobs"
}
