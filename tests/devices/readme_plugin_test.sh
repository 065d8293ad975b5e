#!/bin/sh
# The README's "Adding a meter type", step by step: build the example plug-in on its own, put it
# and its two description files into a program directory, start the program and read its log.
#   readme_plugin_test.sh SOURCE_DIR BUILT_PROGRAM_DIR ZARNICBOX
set -eu
src=$1
built=$2
zarnicbox=$3
work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
pid=

# 1. Build the plug-in from the template.
cmake -S "$src/plugins/example" -B "$work/build-plugin" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/build-plugin" >/dev/null

# 2. Put the files where the program looks for them.
mkdir -p "$work/program/DLL" "$work/program/XML.ZARNIC" "$work/program/XML.ZarnicMaster"
cp "$built/DLL/ZarnicMaster_00xx.so" "$work/program/DLL/"
cp "$built/XML.ZARNIC/0000.ZARNIC.xml" "$work/program/XML.ZARNIC/"
cp "$work/build-plugin/ZarnicMaster_05xx.so" "$work/program/DLL/"
cp "$src/plugins/example/0501.ZARNIC.xml" "$work/program/XML.ZARNIC/"
cp "$src/plugins/example/0501.ZarnicMaster.xml" "$work/program/XML.ZarnicMaster/"

# 3. Start the program and look for the lines that say both were loaded.
"$zarnicbox" --headless --dir "$work/program" --port 0 >"$work/log" 2>&1 &
pid=$!
for _ in $(seq 1 300); do
    grep -q " headless, program directory" "$work/log" && break
    sleep 0.1
done
kill -TERM "$pid"
wait "$pid" || true
pid=
status=0
for line in 'Dll-библиотека "ZarnicMaster_05xx.so" - OK' \
            '"0501.ZARNIC.xml" - "Датчик температуры (пример)" - OK' \
            '"0501.ZarnicMaster.xml" - OK'; do
    if ! grep -qF "$line" "$work/log"; then
        echo "missing in the log: $line"
        status=1
    fi
done
[ "$status" = 0 ] || cat "$work/log"
exit "$status"
