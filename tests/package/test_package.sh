#!/bin/sh
# Builds the Debian package with cpack from the build folder $1, checks what it
# holds and what it depends on, unpacks it with dpkg -x into a scratch root and
# runs the programs from there: a new home is made by the installed console
# and backed up by the installed backup tool. Then lintian, which must report
# no errors (its warnings are printed).
set -u
build=$(cd "$1" && pwd)
fail() { echo "FAILED: $*"; exit 1; }

for program in app/corvane app/tallowin switchsim/switchsim; do
  [ -x "$build/$program" ] || fail "$build/$program is not built (build everything before the tests)"
done
command -v cpack >/dev/null || fail "cpack not found"
command -v dpkg-shlibdeps >/dev/null || fail "dpkg-shlibdeps not found (package dpkg-dev; scripts/install-deps installs it)"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

(cd "$build" && cpack -G DEB -B "$scratch/out") >"$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log"; fail "cpack"; }
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
deb="$scratch/out/corvane_${version}_amd64.deb"
[ -f "$deb" ] || { ls -l "$scratch/out"; fail "no corvane_${version}_amd64.deb"; }
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"

# Dependencies computed from the programs, plus the fonts and Qt's Chinese texts.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for dep in fonts-wqy-zenhei qt6-translations-l10n libqt6widgets6 libqt6serialport6 libqt6charts6 libsqlcipher libxlsxwriter libc6; do
  echo "$depends" | grep -q "$dep" || fail "Depends lacks $dep"
done

dpkg-deb -c "$deb" > "$scratch/contents"
for f in usr/bin/corvane usr/bin/tallowin usr/bin/switchsim \
         usr/share/applications/corvane.desktop usr/share/applications/tallowin.desktop \
         usr/share/icons/hicolor/scalable/apps/corvane.svg usr/share/icons/hicolor/scalable/apps/tallowin.svg \
         usr/share/corvane/resource/company.gif usr/share/corvane/resource/phone.gif \
         usr/share/corvane/resource/phoneon.gif usr/share/corvane/resource/phonehold.gif \
         usr/share/corvane/help/index.html usr/share/doc/corvane/copyright usr/share/doc/corvane/README.Debian \
         usr/lib/systemd/user/tallowin-backup@.service usr/lib/systemd/user/tallowin-backup@.timer \
         usr/lib/systemd/user/tallowin-backup-failed@.service \
         usr/lib/systemd/user/corvane-report@.service usr/lib/systemd/user/corvane-report@.timer; do
  grep -q " \./$f\$" "$scratch/contents" || fail "package lacks /$f"
done
dpkg-deb -f "$deb" Description | grep -q dialout || fail "the package's description does not name the dialout group"
# The nightly backup is there but enabled by nobody: no unit linked into a target.
if grep -q -e '\.wants/' -e '\./etc/systemd/' "$scratch/contents"; then
  grep -e '\.wants/' -e '\./etc/systemd/' "$scratch/contents"
  fail "the package enables a unit"
fi
dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -q -e postinst && fail "the package has a postinst (it must not enable the timer)"

dpkg -x "$deb" "$scratch/root" || fail "dpkg -x"
root="$scratch/root"
for desktop in corvane tallowin; do
  entry="$root/usr/share/applications/$desktop.desktop"
  grep -q "^Exec=$desktop" "$entry" && grep -q "^Icon=$desktop\$" "$entry" && grep -q '^Name\[zh_CN\]=' "$entry" \
    || fail "$desktop.desktop lacks Exec, Icon or its Chinese name"
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$entry" || fail "$desktop.desktop is not valid"
  fi
done

# The installed copy keeps its home in the per-user data folder.
export HOME="$scratch/user" XDG_DATA_HOME="$scratch/user/data"
unset CORVANE_HOME
mkdir -p "$HOME"
out=$("$root/usr/bin/corvane" --version) || fail "corvane --version: $out"
echo "$out"
echo "$out" | grep -q "^corvane $version\$" || fail "corvane --version does not name version $version"
echo "$out" | grep -q "Home folder: $XDG_DATA_HOME/corvane (the per-user data folder" || fail "corvane --version names the wrong home"
echo "$out" | grep -q -- "--home DIR or the environment variable CORVANE_HOME" || fail "corvane --version does not say how to choose a home"

out=$("$root/usr/bin/tallowin" --help) || fail "tallowin --help: $out"
echo "$out" | grep -q -- "--backup <FILE>" || fail "tallowin --help lacks --backup"
echo "$out" | grep -q "Home folder: $XDG_DATA_HOME/corvane " || fail "tallowin --help names another home than the console"

# A home made by the installed console, backed up by the installed tool.
printf 'pw-1\n' | "$root/usr/bin/corvane" --init >/dev/null || fail "corvane --init"
home="$XDG_DATA_HOME/corvane"
[ "$(stat -c %a "$home/data")" = 700 ] || fail "data folder is $(stat -c %a "$home/data"), not 700"
[ "$(stat -c %a "$home/data/Switch.mdb")" = 600 ] || fail "Switch.mdb is $(stat -c %a "$home/data/Switch.mdb"), not 600"
[ -f "$home/resource/company.gif" ] && [ -f "$home/help/index.html" ] || fail "the new home lacks its pictures or help page"
"$root/usr/bin/tallowin" --backup "$scratch/nightly" >/dev/null || fail "tallowin --backup"
[ "$(stat -c %a "$scratch/nightly.mdb")" = 600 ] || fail "the backup is $(stat -c %a "$scratch/nightly.mdb"), not 600"

# The backup units: valid for systemd (an instance for this home, the
# program at its unpacked place), and their command makes dated backups and
# keeps the newest.
units="$root/usr/lib/systemd/user"
service="$units/tallowin-backup@.service"
timer="$units/tallowin-backup@.timer"
grep -q '^OnCalendar=' "$timer" && grep -q '^WantedBy=timers.target' "$timer" || fail "the timer has no calendar or install section"
if command -v systemd-analyze >/dev/null; then
  check="$scratch/units"
  mkdir -p "$check" "$scratch/runtime"
  chmod 700 "$scratch/runtime"
  sed "s#/usr/bin/tallowin#$root/usr/bin/tallowin#" "$service" > "$check/tallowin-backup@.service"
  cp "$timer" "$check/tallowin-backup@.timer"
  instance=$(systemd-escape --path "$home")
  ln -s tallowin-backup@.service "$check/tallowin-backup@$instance.service"
  ln -s tallowin-backup@.timer "$check/tallowin-backup@$instance.timer"
  sed "s#/usr/bin/tallowin#$root/usr/bin/tallowin#" "$units/tallowin-backup-failed@.service" \
    > "$check/tallowin-backup-failed@.service"
  ln -s tallowin-backup-failed@.service "$check/tallowin-backup-failed@$instance.service"
  sed "s#/usr/bin/corvane#$root/usr/bin/corvane#" "$units/corvane-report@.service" > "$check/corvane-report@.service"
  cp "$units/corvane-report@.timer" "$check/corvane-report@.timer"
  ln -s corvane-report@.service "$check/corvane-report@$instance.service"
  ln -s corvane-report@.timer "$check/corvane-report@$instance.timer"
  if ! out=$(cd "$check" && XDG_RUNTIME_DIR="$scratch/runtime" systemd-analyze --user verify --man=no \
        "./tallowin-backup@$instance.timer" "./tallowin-backup@$instance.service" \
        "./tallowin-backup-failed@$instance.service" \
        "./corvane-report@$instance.timer" "./corvane-report@$instance.service" 2>&1) || [ -n "$out" ]; then
    echo "$out"
    fail "systemd-analyze verify finds fault with the backup or report units"
  fi
  echo "systemd-analyze verify: the backup and report timers and services are valid"
  # Each service is hardened: its exposure as systemd-analyze rates it.
  for unit in tallowin-backup tallowin-backup-failed corvane-report; do
    out=$(cd "$check" && systemd-analyze security --offline=true --no-pager --threshold=30 "./$unit@$instance.service" 2>&1) \
      || { echo "$out"; fail "$unit@.service is exposed above 3.0"; }
    echo "$out" | grep 'Overall exposure level'
  done
else
  echo "systemd-analyze is not installed: the backup units were NOT verified (package systemd)"
fi
backup_dir=$(sed -n 's#^Environment=BACKUP_DIR=\([^ ]*\).*#\1#p' "$service" | sed "s#/%I#$home#")
keep=$(sed -n 's#^Environment=.* KEEP=\([0-9]*\).*#\1#p' "$service")
command=$(sed -n 's#^ExecStart=##p' "$service" | sed -e "s#/usr/bin/tallowin#$root/usr/bin/tallowin#" -e "s#/%I#$home#g" \
  -e "s#\${BACKUP_DIR}#$backup_dir#" -e "s#\${KEEP}#$keep#")
[ "$keep" -ge 1 ] && [ -n "$backup_dir" ] || fail "the service sets no BACKUP_DIR or KEEP"
i=0
while [ $i -le "$keep" ]; do
  sh -c "$command" >/dev/null || fail "the service's command failed: $command"
  i=$((i + 1))
done
count=$(ls "$backup_dir" | grep -c '^Switch-[0-9]\{8\}-[0-9]\{6\}\(-[0-9]*\)\?\.mdb$')
[ "$count" -eq "$keep" ] || { ls -la "$backup_dir"; fail "$count backups in $backup_dir, not the newest $keep"; }
[ "$(ls -A "$backup_dir" | wc -l)" -eq "$keep" ] || fail "$backup_dir holds more than the backups"
echo "the backup service's command keeps the newest $keep dated backups in $backup_dir"
grep -q '^TimeoutStartSec=' "$service" && grep -q '^OnFailure=tallowin-backup-failed@%i.service' "$service" \
  || fail "the backup service has no time-out or no failure unit"
grep -q '/bin/sh' "$units"/*.service && fail "a unit runs a shell around the home's path"

# The report service's command, with no shell: last month's report in HOME/reports.
report_dir=$(sed -n 's#^Environment=REPORT_DIR=\([^ ]*\).*#\1#p' "$units/corvane-report@.service" | sed "s#/%I#$home#")
format=$(sed -n 's#^Environment=.* FORMAT=\([a-z]*\).*#\1#p' "$units/corvane-report@.service")
report=$(sed -n 's#^ExecStart=##p' "$units/corvane-report@.service" | sed -e "s#/usr/bin/corvane#$root/usr/bin/corvane#" \
  -e "s#/%I#$home#g" -e "s#\${REPORT_DIR}#$report_dir#" -e "s#\${FORMAT}#$format#")
sh -c "$report" >/dev/null || fail "the report service's command failed: $report"
month=$(date -d "$(date +%Y-%m-15) -1 month" +%Y-%m)
[ -s "$report_dir/traffic-$month.$format" ] || { ls -la "$report_dir"; fail "no $report_dir/traffic-$month.$format"; }
echo "the report service's command wrote $report_dir/traffic-$month.$format"

if command -v lintian >/dev/null; then
  lintian --tag-display-limit 0 "$deb" >"$scratch/lintian.log" 2>&1
  cat "$scratch/lintian.log"
  errors=$(grep -c '^E:' "$scratch/lintian.log")
  warnings=$(grep -c '^W:' "$scratch/lintian.log")
  echo "lintian: $errors errors, $warnings warnings"
  [ "$errors" -eq 0 ] || fail "lintian reports errors"
else
  echo "lintian is not installed: the package was NOT checked by lintian (scripts/install-deps installs it)"
fi
echo "package test passed"
