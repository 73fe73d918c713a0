#!/bin/sh
# Installs the build into a fresh prefix, as `cmake --install` does for a
# user, then builds a small C program against the installed libscan.so both
# ways a C or C++ user finds a library: pkg-config and find_package. Each
# client runs with the installed library only.
#   install_test.sh BUILD_DIR CONSUMER_SOURCE_DIR
set -eu
build=$1
consumer=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log" >&2; exit 1; }
for file in bin/fringe include/fringe/scan.h share/man/man1/fringe.1.gz; do
  [ -e "$prefix/$file" ] || { echo "not installed: $file" >&2; exit 1; }
done
libdir=$(dirname "$(find "$prefix" -name libscan.so -print -quit)")
[ -n "$libdir" ] || { echo "libscan.so not installed" >&2; exit 1; }

# pkg-config, from the installed .pc file alone.
PKG_CONFIG_PATH=$libdir/pkgconfig
export PKG_CONFIG_PATH
cc -std=c99 -Wall -Werror $(pkg-config --cflags fringe-scan) "$consumer/client.c" -o "$work/client_pc" \
   $(pkg-config --libs fringe-scan)
out=$(LD_LIBRARY_PATH=$libdir "$work/client_pc")
[ "$out" = "LambdaF 12.5" ] || { echo "pkg-config client printed: $out" >&2; exit 1; }
if LD_LIBRARY_PATH=$libdir ldd "$work/client_pc" | grep libscan | grep -qv "$libdir"; then
  echo "the pkg-config client found another libscan.so" >&2; exit 1
fi

# find_package(FringeScan), from the installed package files alone.
cmake -S "$consumer" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >"$work/consumer.log" 2>&1 \
  || { cat "$work/consumer.log" >&2; exit 1; }
cmake --build "$work/consumer" >>"$work/consumer.log" 2>&1 || { cat "$work/consumer.log" >&2; exit 1; }
out=$("$work/consumer/client")
[ "$out" = "LambdaF 12.5" ] || { echo "find_package client printed: $out" >&2; exit 1; }
echo "installed into a prefix; a C client built with pkg-config and with find_package"
