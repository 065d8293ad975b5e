#!/usr/bin/env bash
# package_test.sh SOURCE_DIR BUILD_DIR SIMULATOR
# Exit 0 passed, 1 failed, 77 skipped (dpkg-deb or lintian missing).
set -uo pipefail
source_dir=$1
build_dir=$2
simulator=$3

for tool in dpkg-deb lintian cpack; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIPPED: $tool is missing (scripts/ensure-packages.sh installs it)"
    exit 77
  fi
done

failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

work=$(mktemp -d)
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The release binaries when they are built (./test.sh builds them before the tests), else these.
packaged=$build_dir
if [ -f "$source_dir/build-release/CPackConfig.cmake" ] &&
   [ -x "$source_dir/build-release/program/zarnicbox" ]; then
  packaged=$source_dir/build-release
fi
echo "packaging $packaged"
cpack --config "$packaged/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack"; exit 1; }
mapfile -t debs < <(find "$work/out" -maxdepth 1 -name '*.deb')
[ "${#debs[@]}" -eq 1 ] || { fail "expected one package, found ${#debs[@]}"; exit 1; }
deb=${debs[0]}
version=$(sed -n 's/^project(ZarnicBox VERSION \([0-9]*\.[0-9]*\.[0-9]*\).*/\1/p' "$source_dir/CMakeLists.txt")
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "zarnicbox_${version}_${arch}.deb" ] || fail "package name $(basename "$deb")"

# Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = zarnicbox ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
depends=$(field Depends)
for dep in libc6 libsqlite3-0 libstdc++6 adduser; do
  grep -q "\b$dep\b" <<<"$depends" || fail "Depends lacks $dep: $depends"
done
grep -q '(>=' <<<"$depends" || fail "Depends carries no versions (not from dpkg-shlibdeps): $depends"
dpkg-deb -e "$deb" "$work/control"
for script in postinst prerm postrm; do
  [ -x "$work/control/$script" ] || fail "no executable $script"
done
grep -q 'adduser --system --group' "$work/control/postinst" || fail "postinst makes no system user"

# File list.
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/files"
for path in /usr/bin/zarnicbox /usr/lib/zarnicbox/DLL/ZarnicMaster_00xx.so \
    /usr/share/zarnicbox/XML.ZARNIC/ /usr/share/zarnicbox/XML.ZarnicMaster/ \
    /usr/share/applications/zarnicbox.desktop /usr/share/icons/hicolor/scalable/apps/zarnicbox.svg \
    /lib/systemd/system/zarnicbox.service /usr/share/doc/zarnicbox/copyright \
    /usr/share/doc/zarnicbox/changelog.gz; do
  grep -qx "$path" "$work/files" || fail "package lacks $path"
done
grep -q '^/var/lib' "$work/files" && fail "the package must not ship the program directory"

# The unit as the brief gives it.
dpkg-deb -x "$deb" "$work/root"
unit=$work/root/lib/systemd/system/zarnicbox.service
for line in 'ExecStart=/usr/bin/zarnicbox --headless --dir /var/lib/zarnicbox' 'User=zarnicbox' \
    'Restart=on-failure' 'KillSignal=SIGTERM'; do
  grep -qx "$line" "$unit" || fail "unit lacks '$line'"
done

# lintian: no errors.
lintian --no-tag-display-limit "$deb" >"$work/lintian.log" 2>&1
if grep -q '^E: ' "$work/lintian.log"; then
  cat "$work/lintian.log"
  fail "lintian reports errors"
fi

# The unpacked program, headless, prepares an empty program directory from what it ships and
# answers a concentrator.
program=$work/program
for folder in WORK/INBOX WORK/OUTBOX WORK/PERIODIC INFO/METERS INFO/PROFILES; do
  mkdir -p "$program/CTR/CTR_00A1/ROOT/$folder"
done
printf '<work/>' >"$program/CTR/CTR_00A1/ROOT/WORK/INBOX/w-0000000000000001.xml"
mkdir -p "$work/ctr/ROOT/WORK/PERIODIC"
printf '<periodic/>' >"$work/ctr/ROOT/WORK/PERIODIC/p-1.xml"
"$work/root/usr/bin/zarnicbox" --headless --dir "$program" --port 0 >"$work/server.log" 2>&1 &
server_pid=$!
port=""
for _ in $(seq 1 300); do
  port=$(sed -n 's/.* headless, program directory .*, port \([0-9]*\)$/\1/p' "$work/server.log")
  [ -n "$port" ] && break
  sleep 0.2
done
[ -n "$port" ] || { cat "$work/server.log"; fail "the unpacked program did not start"; exit 1; }
grep -q 'На связи: 0 из 0' "$work/server.log" || fail "no network summary at start"
timeout 60 "$simulator" --port "$port" --id 00A1 --root "$work/ctr" --quiet >"$work/sim.log" 2>&1 ||
  { cat "$work/sim.log"; fail "the simulator failed against the unpacked program"; }
[ "$(cat "$work/ctr/ROOT/WORK/INBOX/w-0000000000000001.xml" 2>/dev/null)" = '<work/>' ] ||
  fail "the work did not reach the concentrator"
[ "$(cat "$program/CTR/CTR_00A1/ROOT/WORK/PERIODIC/p-1.xml" 2>/dev/null)" = '<periodic/>' ] ||
  fail "the periodic work did not reach the server"
kill -TERM "$server_pid"
wait "$server_pid" || fail "SIGTERM did not end the server cleanly"
server_pid=""
[ -f "$program/DLL/ZarnicMaster_00xx.so" ] || fail "no plug-in in the program directory"
[ -d "$program/XML.ZARNIC" ] || fail "no catalogue in the program directory"
grep -q 'ОШИБКА' "$work/server.log" && { cat "$work/server.log"; fail "errors in the log"; }

# A newer package refreshes the shipped files, never the database or the mirrors.
catalogue_file=$(cd "$program" && find XML.ZARNIC -type f | head -n 1)
printf 'changed' >"$program/$catalogue_file"
echo "0.0.0.0" >"$program/.zarnicbox-shipped"
sessions() { sqlite3 "$program/ZarnicBox.db" "SELECT COUNT(*) from CtrSession WHERE CtrID='00A1'"; }
[ "$(sessions)" = 1 ] || fail "the session was not recorded"
db_inode=$(stat -c %i "$program/ZarnicBox.db")
"$work/root/usr/bin/zarnicbox" --headless --dir "$program" --port 0 >"$work/server2.log" 2>&1 &
server_pid=$!
for _ in $(seq 1 300); do
  grep -q ' headless, program directory' "$work/server2.log" && break
  sleep 0.2
done
kill -TERM "$server_pid"
wait "$server_pid"
server_pid=""
cmp -s "$program/$catalogue_file" "$work/root/usr/share/zarnicbox/$catalogue_file" ||
  fail "the catalogue was not refreshed"
[ "$(stat -c %i "$program/ZarnicBox.db")" = "$db_inode" ] && [ "$(sessions)" = 1 ] ||
  fail "the database was replaced"
[ -f "$program/CTR/CTR_00A1/ROOT/WORK/PERIODIC/p-1.xml" ] || fail "the mirror was touched"

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "package test passed: $(basename "$deb")"
