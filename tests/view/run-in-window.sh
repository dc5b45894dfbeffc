#!/bin/sh
# Runs the ondo-view tests in a window on a virtual X server, from a copy of
# the binaries placed beside a copy of Content/Shader: the shader root is the
# executable's folder two levels up, so the reload test edits the copy and
# never the repository's shaders.
#   run-in-window.sh BIN_DIR SOURCE_DIR [gtest options]
set -eu
bin_dir=$1
source_dir=$2
shift 2
if ! command -v xvfb-run >/dev/null 2>&1; then
    echo "skipped: xvfb-run is missing (Debian package xvfb), and the ondo-view tests need an X server"
    exit 77
fi
root=$(mktemp -d "${TMPDIR:-/tmp}/ondo-view-tests.XXXXXX")
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/build/bin" "$root/Content"
for file in ondo_view_tests ondo-view libondo.so Prismvale.so; do
    cp "$bin_dir/$file" "$root/build/bin/"
done
cp -R "$source_dir/Content/Shader" "$root/Content/"
xvfb-run -a -s "-screen 0 1280x1024x24" "$root/build/bin/ondo_view_tests" "$@"
