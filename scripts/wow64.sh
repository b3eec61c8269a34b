#!/usr/bin/env bash
# `wow64.sh DIR`: the 32-bit Windows DLLs of the installed Wine's own version in DIR/i386-windows
# (from Debian's i386 libwine package, fetched with an APT configuration of its own and unpacked,
# nothing installed), beside a link to its x86_64-unix folder, for wine64's WoW64 mode
# (docs/WINDOWS.md). Fetched again only when the installed wine64's version changes.
set -euo pipefail
fail() { echo "wow64.sh: $*" >&2; exit 1; }

dlls() {
  local dir=$1 version arch work
  version=$(dpkg-query -W -f='${Version}' wine64 2>/dev/null) || fail "wine64 is not installed"
  arch=$(dpkg --print-architecture)
  [ "$arch" = amd64 ] || fail "the 32-bit DLLs are fetched for a 64-bit (amd64) Wine only, not $arch"
  if [ -f "$dir/version" ] && [ "$(cat "$dir/version")" = "$version" ]; then return; fi
  echo "Fetching the 32-bit Windows DLLs of Wine $version (libwine:i386, about 95 MB)"
  rm -rf "$dir" "$dir.work"
  work=$dir.work
  mkdir -p "$work/apt/lists/partial" "$work/apt/cache/archives/partial" "$work/apt/parts"
  touch "$work/apt/status"
  # The system's APT settings (a proxy, the mirror's rules) without its hooks, which would act
  # on the system's own state after an update.
  cp /etc/apt/apt.conf.d/* "$work/apt/parts/" 2>/dev/null || true
  printf '%s\n' '#clear APT::Update::Pre-Invoke;' '#clear APT::Update::Post-Invoke;' \
    '#clear APT::Update::Post-Invoke-Success;' '#clear DPkg::Pre-Invoke;' '#clear DPkg::Post-Invoke;' \
    > "$work/apt/parts/zz-wow64-no-hooks"
  cat > "$work/apt/apt.conf" <<EOF
APT::Architecture "i386";
APT::Architectures { "i386"; };
APT::Sandbox::User "$(id -un)";
Dir::State "$work/apt";
Dir::State::Lists "$work/apt/lists";
Dir::State::status "$work/apt/status";
Dir::Cache "$work/apt/cache";
Dir::Etc::parts "$work/apt/parts";
EOF
  local log=$work/apt/log apt=(apt-get -q -o APT::Architecture=i386 -o APT::Architectures=i386)
  if ! APT_CONFIG=$work/apt/apt.conf "${apt[@]}" update > "$log" 2>&1 ||
     ! (cd "$work" && APT_CONFIG=$work/apt/apt.conf "${apt[@]}" download "libwine:i386=$version") >> "$log" 2>&1; then
    cat "$log" >&2
    fail "cannot download libwine:i386 $version, the 32-bit half of the installed Wine, from the" \
      "package mirror of /etc/apt/sources.list(.d) (above: what APT said). The 32-bit program's" \
      "tests need it. Without network to the mirror there is no way; when the mirror has another" \
      "version of Wine, bring the installed one to it: apt-get install --only-upgrade wine64 libwine"
  fi
  dpkg -x "$work"/libwine_*_i386.deb "$work/unpacked"
  mkdir -p "$dir"
  mv "$work/unpacked/usr/lib/i386-linux-gnu/wine/i386-windows" "$dir/"
  # Half the size, and what Wine reads to know a DLL of its own (a mark in the DOS stub) stays.
  find "$dir/i386-windows" -type f -print0 | xargs -0 -n 100 i686-w64-mingw32-strip --strip-debug
  ln -s /usr/lib/x86_64-linux-gnu/wine/x86_64-unix "$dir/x86_64-unix"
  rm -rf "$work"
  echo "$version" > "$dir/version"
}

[ $# = 1 ] || fail "usage: wow64.sh DIR"
dlls "$1"
