#!/usr/bin/env bash
# The Debian package as a lab installs it: built from the build folder,
# installed with dpkg -i, used from /usr/bin on throw-away studies, checked by
# lintian, and removed with dpkg -r, which must take every installed file
# and leave the studies alone. Whatever happens, the package is removed
# again before the script ends. Exit status 77 (skipped) where this machine
# cannot install packages.
#   package_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source_dir=$(cd "${1:?usage: package_test.sh SOURCE_DIR BUILD_DIR}" && pwd)
build=$(cd "${2:?usage: package_test.sh SOURCE_DIR BUILD_DIR}" && pwd)

skip() { echo "SKIPPED: $*"; exit 77; }
[[ $(id -u) -eq 0 ]] || skip "installing a package needs root, and this test runs as $(id -un)"
for tool in dpkg dpkg-deb dpkg-shlibdeps cpack lintian man flock; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/install-deps.sh brings it)"
done

# One run at a time on this machine: the package has one name.
exec 9>/var/lock/kestu-package-test.lock
flock 9

if dpkg-query -W -f='${Status}' kestu 2>/dev/null | grep -q 'ok installed'; then
  skip "a kestu package is installed on this machine already; it is left as it is"
fi

# dpkg waits for no one: another installation holding its lock is waited out.
dpkg_with_lock() {
  local tries=0 output
  while true; do
    if output=$("$@" 2>&1); then return 0; fi
    if [[ $output == *"lock"* && $tries -lt 60 ]]; then tries=$((tries + 1)); sleep 2; continue; fi
    printf '%s\n' "$output"
    return 1
  done
}

work=$(mktemp -d)
installed=no
# Stopped at any point (a failed check, Ctrl-C, a kill), the package goes
# again: a dpkg -i still running holds dpkg's lock, and is waited out first.
cleanup() {
  trap '' INT TERM
  if [[ $installed == yes ]]; then
    wait 2>/dev/null
    if dpkg-query -W kestu >/dev/null 2>&1 && ! dpkg_with_lock dpkg --purge kestu >/dev/null; then
      echo "cleanup: dpkg --purge kestu failed; remove it by hand" >&2
    fi
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# --- the package -------------------------------------------------------------
if ! cmake --build "$build" -j2 --target kestu kestuctl kestu-initdb kestu_package_files >"$work/build.log" 2>&1; then
  tail -30 "$work/build.log"
  echo "FAIL: the programs and package files do not build"
  exit 1
fi
if ! made=$(bash "$source_dir/scripts/make-package.sh" "$build" 2>&1); then
  printf '%s\n' "$made"
  echo "FAIL: make-package.sh"
  exit 1
fi
deb=$(sed -n 's/^package: //p' <<<"$made")
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
[[ $(basename "$deb") == "kestu_${version}_$(dpkg --print-architecture).deb" ]] && pass "the package is $(basename "$deb")" ||
  fail "the package is named $(basename "$deb")"

# Its dependencies: the Qt libraries dpkg-shlibdeps found, and the packages of
# the plugins the build loads, both Sql drivers among them.
depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6core6 libqt6widgets6 libqt6sql6 libqt6sql6-sqlite libqt6sql6-psql libpq5; do
  [[ ", $depends," == *", $package "* || ", $depends," == *", $package,"* ]] || fail "Depends lacks $package: $depends"
done
pass "Depends: $depends"

# lintian: no errors; the warnings are printed for the record.
lintian --no-tag-display-limit "$deb" >"$work/lintian" 2>&1
if grep -q '^E: ' "$work/lintian"; then
  fail "lintian reports errors:"; grep '^E: ' "$work/lintian"
else
  pass "lintian reports no error"
fi
grep '^W: ' "$work/lintian" | sed 's/^/  lintian /'

# --- installed ---------------------------------------------------------------
mkdir -p "$work/before"
ls -A /usr/bin >"$work/before/usr-bin"
installed=yes
if ! dpkg_with_lock dpkg -i "$deb"; then
  echo "FAIL: dpkg -i $deb"
  exit 1
fi
dpkg-query -L kestu | sort >"$work/files"

for program in kestu kestuctl kestu-initdb; do
  [[ $(command -v "$program") == /usr/bin/$program ]] || fail "$program is not /usr/bin/$program"
done
kestu_version=$(/usr/bin/kestu --version)
ctl_version=$(/usr/bin/kestuctl --version)
if [[ ${kestu_version#kestu } == "${ctl_version#kestuctl }" && ${kestu_version#kestu } == "$version"* ]]; then
  pass "both programs are version ${kestu_version#kestu }"
else
  fail "the versions disagree: \"$kestu_version\" and \"$ctl_version\" (package $version)"
fi

# kestuctl from /usr/bin on a throw-away study.
study=$work/study
mkdir -p "$study"
if (cd "$work" && /usr/bin/kestuctl init "$study/KESTU.MDB" >"$work/init.out" 2>&1) &&
   /usr/bin/kestuctl run-trial "$study/KESTU.MDB" pilot1 --seed 7 --no-report >"$work/trial.out" 2>&1 &&
   /usr/bin/kestuctl rescore "$study/KESTU.MDB" pilot1 --all >"$work/rescore.out" 2>&1 &&
   [[ -s $study/pilot1.1 ]] && grep -q 'ok' "$work/rescore.out"; then
  pass "kestuctl init, run-trial and rescore work from /usr/bin"
else
  fail "kestuctl from /usr/bin:"; cat "$work"/init.out "$work"/trial.out "$work"/rescore.out 2>/dev/null
fi

# kestu with no --data: the user's own study folder, made on the first start.
home=$work/home
mkdir -p "$home"
start_kestu() {
  env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR HOME="$home" QT_QPA_PLATFORM=offscreen KESTU_STARTUP_PROBE=1 \
    timeout 60 /usr/bin/kestu
}
if (cd / && start_kestu >"$work/kestu.out" 2>"$work/kestu.err") && grep -q 'login window shown' "$work/kestu.out" &&
   [[ -s $home/Kestu/KESTU.MDB ]] && grep -qx "Kestu: created the study folder $home/Kestu with the standard scenario" "$work/kestu.err" &&
   /usr/bin/kestu-initdb --check "$home/Kestu/KESTU.MDB" >/dev/null; then
  pass "kestu starts to the login window without --data and makes $home/Kestu with its database"
else
  fail "kestu without --data:"; cat "$work/kestu.out" "$work/kestu.err"; ls -la "$home" "$home/Kestu" 2>&1
fi
# The second start finds the folder as the first left it.
if (cd / && start_kestu >"$work/kestu2.out" 2>"$work/kestu2.err") && grep -q 'login window shown' "$work/kestu2.out" &&
   ! grep -q 'created' "$work/kestu2.err" && grep -qx "Kestu: study folder $home/Kestu" "$work/kestu2.err"; then
  pass "the second start uses the same study folder"
else
  fail "kestu's second start:"; cat "$work/kestu2.out" "$work/kestu2.err"
fi
ls -A /usr/bin >"$work/usr-bin-now"
extra=$(comm -13 "$work/before/usr-bin" "$work/usr-bin-now" | grep -vx -e kestu -e kestuctl -e kestu-initdb)
[[ -z $extra ]] && pass "nothing but the programs was written to /usr/bin" || fail "written to /usr/bin: $extra"

# The manual pages render without a warning; kestuctl's names every command.
for page in kestu kestuctl kestu-initdb; do
  if ! MANWIDTH=80 MAN_KEEP_FORMATTING= man "$page" >"$work/$page.man" 2>"$work/$page.warn" || [[ -s $work/$page.warn ]]; then
    fail "man $page:"; cat "$work/$page.warn"
  fi
done
commands=$(/usr/bin/kestuctl --help | awk '/^Commands:/ {on = 1; next} on && /^  [a-z]/ {print $1}')
[[ -n $commands ]] || fail "kestuctl --help lists no commands"
for command in $commands; do
  grep -q "^   $command\$" "$work/kestuctl.man" || fail "man kestuctl has no section for $command"
  grep -q "kestuctl $command " "$work/kestuctl.man" || fail "man kestuctl has no example of $command"
done
grep -q -- '--every-tick' "$work/kestuctl.man" || fail "man kestuctl lacks log2csv's --every-tick"
pass "man kestu, kestuctl and kestu-initdb render; kestuctl's names its $(wc -w <<<"$commands") commands"

# The bash completion offers the commands, their options and the listed values.
completion=/usr/share/bash-completion/completions/kestuctl
complete_words() {
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _kestuctl; printf "%s\n" "${COMPREPLY[@]}"' \
    _ "$completion" "$@" | sort | tr '\n' ' '
}
[[ $(complete_words kestuctl run) == "run-trial " ]] || fail "completing \"kestuctl run\" gives: $(complete_words kestuctl run)"
[[ $(complete_words kestuctl export --table '') == "experiments participants " ]] ||
  fail "completing \"export --table\" gives: $(complete_words kestuctl export --table '')"
[[ $(complete_words kestuctl run-trial DB U --no) == "--no-report " ]] ||
  fail "completing \"run-trial DB U --no\" gives: $(complete_words kestuctl run-trial DB U --no)"
pass "bash completion: commands, options and the values of --table"

# The menu entry and its icon.
desktop=/usr/share/applications/kestu.desktop
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate $desktop"
fi
grep -qx 'Exec=kestu' "$desktop" && grep -qx 'Icon=kestu' "$desktop" && [[ -s /usr/share/icons/hicolor/scalable/apps/kestu.svg ]] &&
  pass "the menu entry starts kestu with its icon" || fail "the menu entry or its icon"
for doc in README.md.gz changelog.gz copyright; do
  [[ -s /usr/share/doc/kestu/$doc ]] || fail "/usr/share/doc/kestu/$doc is missing"
done
zcat /usr/share/doc/kestu/changelog.gz | head -1 | grep -q "^kestu ($version) " ||
  fail "the changelog does not start with $version"

# --- removed -----------------------------------------------------------------
(cd "$work" && find study home -type f -exec sha256sum {} + | sort) >"$work/studies-before"
if ! dpkg_with_lock dpkg -r kestu; then
  fail "dpkg -r kestu"
fi
installed=no
left=0
while IFS= read -r path; do
  [[ -f $path || -L $path ]] && { echo "left behind: $path"; left=$((left + 1)); }
done <"$work/files"
[[ $left -eq 0 ]] && pass "dpkg -r removed every installed file" || fail "$left installed files are left"
(cd "$work" && find study home -type f -exec sha256sum {} + | sort) >"$work/studies-after"
cmp -s "$work/studies-before" "$work/studies-after" && pass "the study folders are as they were" ||
  fail "the removal changed the study folders: $(diff "$work/studies-before" "$work/studies-after")"
dpkg --purge kestu >/dev/null 2>&1 || true

if [[ $failures -gt 0 ]]; then
  echo "$failures checks failed"
  exit 1
fi
echo "all package checks passed"
