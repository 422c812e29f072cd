# apt-get with a state of its own, for fetching packages that are unpacked
# into a folder and never installed. Sourced by setup-i386-wine.sh.
#
#   private_apt_init <folder> <architecture> <suite>...
#   private_apt <apt-get arguments>...
#
# Everything apt reads and writes lives in <folder>: its configuration (an
# APT_CONFIG of its own, so that no file of /etc/apt is read), its sources,
# an empty package status, its lists and its cache. Of the system it takes
# only the address of the Debian mirror its sources use and Debian's
# keyring; signatures are checked as usual. A suite is "bookworm" or
# "bookworm-backports": it is looked for on the mirror the system reads that
# codename from (the security suites on their own mirror).

private_apt_folder=

# The mirror this system reads <suite> from, else the one of its codename's
# main suite, else Debian's.
private_apt_mirror() {
    local suite=$1 codename=${1%%-*} uri
    uri=$(apt-get indextargets --format '$(RELEASE) $(REPO_URI)' 'Created-By: Packages' 2>/dev/null |
        awk -v s="$suite" '$1 == s { print $2; exit }')
    [[ -n $uri ]] || uri=$(apt-get indextargets --format '$(RELEASE) $(REPO_URI)' 'Created-By: Packages' 2>/dev/null |
        awk -v s="$codename" '$1 == s { print $2; exit }')
    echo "${uri:-http://deb.debian.org/debian/}"
}

private_apt_init() {
    local folder=$1 architecture=$2 suite
    shift 2
    private_apt_folder=$folder
    rm -rf "$folder"
    mkdir -p "$folder"/etc/{apt.conf.d,preferences.d,sources.list.d,trusted.gpg.d} "$folder"/lists/partial \
        "$folder"/cache/archives/partial "$folder"/state
    : >"$folder/state/status"
    for suite in "$@"; do
        echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $(private_apt_mirror "$suite") $suite main"
    done >"$folder/etc/sources.list"
    # As root, apt would download as the _apt user, who cannot write into a
    # private home: it downloads as whoever runs this.
    cat >"$folder/apt.conf" <<CONF
Dir::Etc "$folder/etc";
Dir::Etc::trusted "$folder/etc/trusted.gpg";
Dir::State "$folder/state";
Dir::State::lists "$folder/lists";
Dir::State::status "$folder/state/status";
Dir::Cache "$folder/cache";
Dir::Log "$folder/state";
APT::Architecture "$architecture";
APT::Architectures { "$architecture"; };
APT::Install-Recommends "false";
Acquire::Languages "none";
APT::Sandbox::User "$(id -un)";
CONF
}

private_apt() {
    APT_CONFIG="$private_apt_folder/apt.conf" apt-get -q "$@"
}

# apt-get update, tried twice. Prints the suites whose index could not be
# read, one per line ("bookworm-security: File has unexpected size ..."):
# the others are used as they are.
private_apt_update() {
    local log="$private_apt_folder/update.log" attempt
    for attempt in 1 2; do
        private_apt update >"$log" 2>&1
        grep -q '^[EW]: Failed to fetch' "$log" || return 0
        ((attempt == 1)) && sleep 5
    done
    sed -n 's#^[EW]: Failed to fetch [a-z]*://[^ ]*/dists/\([^/]*\)/[^ ]*  *\(.*\)$#\1: \2#p' "$log" |
        sed 's# *\[IP:.*##' | sort -u
}
