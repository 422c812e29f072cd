#!/usr/bin/env bash
# Sets up 32-bit Wine under qemu-i386 user emulation, for machines whose
# kernel refuses 32-bit programs, in a folder of the user's own:
#
#   emulation/setup-i386-wine.sh [folder]
#
# folder: default $VANTRELL_I386_WINE_DIR, else ${XDG_CACHE_HOME:-~/.cache}/vantrell/i386-wine.
# Needs Debian's 32-bit Wine (wine32:i386) and a 32-bit C compiler
# (gcc-multilib); scripts/install-deps.sh --windows installs both.
#
# What it makes there:
#   qemu-i386        a qemu-user of version 9 or later: the system's if it is
#                    new enough, else the one of Debian's bookworm-backports,
#                    fetched with a private apt configuration (nothing is
#                    installed, /etc/apt is not touched)
#   lib/wine/        Wine's 32-bit loader, copied, with its preloader being
#                    qemu: Wine starts every new process through
#                    <loader folder>/wine-preloader, so each of them (wineboot,
#                    the services, the programs) runs emulated too
#   guest/           the guest's /etc/ld.so.preload and the fault-code shim
#                    (trap_number_shim.c), seen only by emulated processes
#   wine             the launcher: wine <program> <args>..., as the wine command
#   lib/wine/wine64  Wine's 64-bit loader, copied: 64-bit programs run natively
#                    and start their 32-bit children emulated
#
# No binfmt_misc registration, no kernel setting. Run again, it does nothing
# when the folder is complete; exits non-zero with the reason when it
# cannot finish (no registry reachable, say).
set -euo pipefail

source_dir=$(cd "$(dirname "$0")" && pwd)
dir=${1:-${VANTRELL_I386_WINE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/vantrell/i386-wine}}
system_loader=/usr/lib/wine/wine
stamp_version=2

fail() {
    echo "setup-i386-wine: $*" >&2
    exit 1
}

[[ -x $system_loader ]] || fail "no 32-bit Wine loader at $system_loader (install wine32:i386)"
if [[ -f $dir/ready ]] && [[ $(cat "$dir/ready") == "$stamp_version $(stat -c %Y "$system_loader")" ]] &&
    [[ -x $dir/wine ]]; then
    exit 0
fi
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
rm -f "$dir/ready"

# qemu 7 ignores MAP_FIXED_NOREPLACE, and Wine then probes its address
# space page by page at every process start: far too slow to be of use.
qemu_major() { "$1" --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\)\..*/\1/p'; }
qemu=$dir/qemu-i386
if [[ ! -x $qemu ]] || (($(qemu_major "$qemu" || echo 0) < 9)); then
    system_qemu=$(command -v qemu-i386-static || command -v qemu-i386 || true)
    if [[ -n $system_qemu ]] && (($(qemu_major "$system_qemu" || echo 0) >= 9)); then
        cp "$system_qemu" "$qemu"
        echo "setup-i386-wine: using this system's $system_qemu ($("$qemu" --version | head -1))"
    else
        apt_dir=$dir/apt
        mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/download"
        echo "deb http://deb.debian.org/debian bookworm-backports main" >"$apt_dir/sources.list"
        apt_private=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o Dir::Etc::SourceParts=/nonexistent
            -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache" -o APT::Sandbox::User=root)
        apt-get "${apt_private[@]}" -qq update || fail "cannot read bookworm-backports' package list"
        (cd "$apt_dir/download" && apt-get "${apt_private[@]}" -qq download qemu-user) ||
            fail "cannot download qemu-user from bookworm-backports"
        package=$(ls "$apt_dir"/download/qemu-user_*.deb | head -1)
        rm -rf "$apt_dir/unpacked"
        dpkg-deb -x "$package" "$apt_dir/unpacked"
        cp "$apt_dir/unpacked/usr/bin/qemu-i386" "$qemu"
        echo "setup-i386-wine: fetched $(basename "$package") from bookworm-backports; kept only its qemu-i386 ($(du -h "$qemu" | cut -f1)) in $dir"
        rm -rf "$apt_dir"
    fi
fi
(($(qemu_major "$qemu" || echo 0) >= 9)) || fail "$qemu is not a qemu-i386 of version 9 or later"

# Wine looks for the next program's loader, preloader and server in the
# folder of its own loader's real path, and for its libraries relative to
# it: a real copy of the loader, links for the rest.
mkdir -p "$dir/lib/wine" "$dir/share"
cp "$system_loader" "$dir/lib/wine/wine"
ln -sfn "$qemu" "$dir/lib/wine/wine-preloader"
# The 64-bit loader too, so that 64-bit programs in a win64 prefix started
# from here start their 32-bit children emulated (x64 hosts of 32-bit
# modules); 64-bit processes themselves run natively.
if [[ -x /usr/lib/wine/wine64 ]]; then
    cp /usr/lib/wine/wine64 "$dir/lib/wine/wine64"
    [[ -e /usr/lib/wine/wine64-preloader ]] && ln -sfn /usr/lib/wine/wine64-preloader "$dir/lib/wine/wine64-preloader"
    ln -sfn /usr/lib/x86_64-linux-gnu "$dir/lib/x86_64-linux-gnu"
fi
ln -sfn /usr/lib/wine/wineserver64 "$dir/lib/wine/wineserver"
ln -sfn /usr/lib/i386-linux-gnu "$dir/lib/i386-linux-gnu"
ln -sfn /usr/share/wine "$dir/share/wine"

mkdir -p "$dir/guest/etc" "$dir/guest/lib"
shim=$dir/guest/lib/vantrell-trap-number.so
${CC:-gcc} -m32 -shared -fPIC -O2 -Wall -Werror -o "$shim" "$source_dir/trap_number_shim.c" -ldl ||
    fail "cannot build the fault-code shim with ${CC:-gcc} -m32 (install gcc-multilib)"
echo "$shim" >"$dir/guest/etc/ld.so.preload"

cat >"$dir/wine" <<LAUNCHER
#!/bin/sh
# 32-bit Wine under qemu-i386 user emulation (emulation/setup-i386-wine.sh).
QEMU_LD_PREFIX='$dir/guest'
export QEMU_LD_PREFIX
exec '$qemu' '$dir/lib/wine/wine' "\$@"
LAUNCHER
chmod +x "$dir/wine"

version=$(WINEDEBUG=-all "$dir/wine" --version 2>&1) || fail "the emulated loader does not start: $version"
echo "$stamp_version $(stat -c %Y "$system_loader")" >"$dir/ready"
echo "setup-i386-wine: $version runs under $("$qemu" --version | head -1) from $dir/wine"
