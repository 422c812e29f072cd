#!/usr/bin/env bash
# Sets up 32-bit Wine under qemu-i386 user emulation, for machines whose
# kernel refuses 32-bit programs (or that cannot install Debian's
# wine32:i386), in a folder of the user's own:
#
#   emulation/setup-i386-wine.sh [folder]
#
# folder: default $VANTRELL_I386_WINE_DIR, else ${XDG_CACHE_HOME:-~/.cache}/vantrell/i386-wine.
# Needs Debian's wine64 (the 64-bit side and the server, whose version the
# 32-bit side must match) and a 32-bit C compiler (gcc-multilib);
# scripts/install-deps.sh --windows installs both.
#
# What it makes there:
#   qemu-i386        a qemu-user of version 9 or later: the system's if it is
#                    new enough, else the one of Debian's bookworm-backports
#   guest/           the root that emulated programs see first
#                    (QEMU_LD_PREFIX): Debian's wine32:i386 of wine64's
#                    version and its dependencies, unpacked (about 730 MB),
#                    unless the system's wine32:i386 is installed; and the
#                    guest's /etc/ld.so.preload with the fault-code shim
#                    (trap_number_shim.c), seen only by emulated processes
#   lib/wine/        Wine's 32-bit loader, copied, with its preloader being
#                    qemu: Wine starts every new process through
#                    <loader folder>/wine-preloader, so each of them (wineboot,
#                    the services, the programs) runs emulated too
#   wine             the launcher: wine <program> <args>..., as the wine command
#   lib/wine/wine64  Wine's 64-bit loader, copied: 64-bit programs run natively
#                    and start their 32-bit children emulated
#
# Packages are fetched with an apt state of the folder's own
# (private-apt.sh): nothing is installed, nothing of /etc/apt is read or
# changed, no i386 architecture is added; a suite whose index cannot be read
# (a mirror sync in progress) is named and left out. No binfmt_misc
# registration, no kernel setting. Run again, it does nothing when the folder
# is complete; exits non-zero with the reason when it cannot finish.
set -euo pipefail

source_dir=$(cd "$(dirname "$0")" && pwd)
source "$source_dir/private-apt.sh"
dir=${1:-${VANTRELL_I386_WINE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/vantrell/i386-wine}}
stamp_version=3

fail() {
    echo "setup-i386-wine: $*" >&2
    exit 1
}

package_version() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null || true; }
wine_version=$(package_version wine64)
[[ -n $wine_version && -x /usr/lib/wine/wine64 ]] || fail "no wine64 on this machine (scripts/install-deps.sh --windows installs it)"
# The system's 32-bit Wine, when it is installed and of the same version.
if [[ $(package_version wine32:i386) == "$wine_version" && -x /usr/lib/wine/wine ]]; then
    i386_root=/
else
    i386_root=$dir/guest
fi
stamp="$stamp_version $wine_version $i386_root"
if [[ -f $dir/ready && $(cat "$dir/ready") == "$stamp" && -x $dir/wine ]]; then
    exit 0
fi
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
[[ $i386_root == / ]] || i386_root=$dir/guest
rm -f "$dir/ready"
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")

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
        private_apt_init "$dir/apt" amd64 "$codename-backports"
        failed=$(private_apt_update)
        [[ -z $failed ]] || fail "cannot read $codename-backports' package list: $failed"
        (cd "$dir/apt/cache" && private_apt download qemu-user >/dev/null) ||
            fail "cannot download qemu-user from $codename-backports"
        package=$(ls "$dir"/apt/cache/qemu-user_*.deb | head -1)
        dpkg-deb -x "$package" "$dir/apt/unpacked"
        cp "$dir/apt/unpacked/usr/bin/qemu-i386" "$qemu"
        echo "setup-i386-wine: fetched $(basename "$package") from $codename-backports; kept only its qemu-i386 ($(du -h "$qemu" | cut -f1)) in $dir"
        rm -rf "$dir/apt"
    fi
fi
(($(qemu_major "$qemu" || echo 0) >= 9)) || fail "$qemu is not a qemu-i386 of version 9 or later"

# The 32-bit Wine userland: wine32:i386 of wine64's version and everything
# it depends on, resolved by apt against an empty package status, unpacked
# into guest/. It need not match the system's amd64 libraries, so any suite
# that has it will do.
rm -rf "$dir/guest"
mkdir -p "$dir/guest"
if [[ $i386_root != / ]]; then
    private_apt_init "$dir/apt" i386 "$codename" "$codename-updates" "$codename-security"
    failed=$(private_apt_update)
    [[ -z $failed ]] && failed=none
    [[ $failed == none ]] ||
        echo "setup-i386-wine: left out, their index could not be read: $(echo "$failed" | paste -sd ';' | sed 's/;/; /g')"
    private_apt install --download-only -y "wine32=$wine_version" >"$dir/apt/install.log" 2>&1 ||
        fail "cannot resolve wine32:i386 $wine_version from the suites that answered (left out: $failed): $(grep '^E:' "$dir/apt/install.log" | head -3 | paste -sd ' ')"
    debs=("$dir"/apt/cache/archives/*.deb)
    for deb in "${debs[@]}"; do
        dpkg-deb -x "$deb" "$dir/guest"
    done
    # What libwine's maintainer script does, which unpacking never runs:
    # zlib1.dll of libz-mingw-w64 becomes a Wine builtin DLL (its header
    # marked so from byte 64).
    zlib=$dir/guest/usr/i686-w64-mingw32/lib/zlib1.dll
    [[ -f $zlib ]] || fail "no zlib1.dll of libz-mingw-w64 among the packages fetched"
    {
        head -c 64 "$zlib"
        printf 'Wine builtin DLL\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0'
        tail -c +97 "$zlib"
    } >"$dir/guest/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll"
    # The guest's own library cache: without it, its loader finds what
    # lies in /lib/i386-linux-gnu only by asking whether that folder
    # exists, which qemu answers for the real root, not the guest's.
    echo 'include /etc/ld.so.conf.d/*.conf' >"$dir/guest/etc/ld.so.conf"
    as_root=()
    ((EUID == 0)) || as_root=(unshare -r)
    "${as_root[@]}" ldconfig -r "$dir/guest" ||
        fail "cannot write the guest's library cache (ldconfig -r needs root, or unshare -r)"
    echo "setup-i386-wine: unpacked wine32:i386 $wine_version and its ${#debs[@]} packages into $dir/guest ($(du -sh "$dir/guest" | cut -f1))"
    rm -rf "$dir/apt" "$dir"/guest/usr/share/{doc,man,locale}
fi
[[ -x $i386_root/usr/lib/wine/wine ]] || fail "no 32-bit Wine loader in $i386_root/usr/lib/wine"

# Wine looks for the next program's loader, preloader and server in the
# folder of its own loader's real path, and for its libraries relative to
# it: a real copy of the loader, links for the rest.
rm -rf "$dir/lib" "$dir/share"
mkdir -p "$dir/lib/wine" "$dir/share"
cp "$i386_root/usr/lib/wine/wine" "$dir/lib/wine/wine"
ln -sfn "$qemu" "$dir/lib/wine/wine-preloader"
# The 64-bit loader too, so that 64-bit programs in a win64 prefix started
# from here start their 32-bit children emulated (x64 hosts of 32-bit
# modules); 64-bit processes themselves run natively.
cp /usr/lib/wine/wine64 "$dir/lib/wine/wine64"
[[ -e /usr/lib/wine/wine64-preloader ]] && ln -sfn /usr/lib/wine/wine64-preloader "$dir/lib/wine/wine64-preloader"
ln -sfn /usr/lib/x86_64-linux-gnu "$dir/lib/x86_64-linux-gnu"
ln -sfn /usr/lib/wine/wineserver64 "$dir/lib/wine/wineserver"
ln -sfn "${i386_root%/}/usr/lib/i386-linux-gnu" "$dir/lib/i386-linux-gnu"
ln -sfn /usr/share/wine "$dir/share/wine"

mkdir -p "$dir/guest/etc" "$dir/guest/usr/local/lib"
shim=$dir/guest/usr/local/lib/vantrell-trap-number.so
${CC:-gcc} -m32 -shared -fPIC -O2 -Wall -Werror -o "$shim" "$source_dir/trap_number_shim.c" -ldl ||
    fail "cannot build the fault-code shim with ${CC:-gcc} -m32 (install gcc-multilib)"
# The guest's loader reads this through the prefix; the shim's own path is
# the same inside and outside the guest.
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
echo "$stamp" >"$dir/ready"
echo "setup-i386-wine: $version runs under $("$qemu" --version | head -1) from $dir/wine"
