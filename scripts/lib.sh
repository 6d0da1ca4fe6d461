# Shared by the scripts in this folder: package installs and the build.
# shellcheck shell=bash

ORVANE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Packages the program needs to build and run; the GSSAPI module lets the directory search sign
# in with the user's Kerberos ticket, GnuTLS (libldap's TLS library) reads the certificate of a
# server that fails verification, and QtKeychain with libsecret keeps the OAuth sign-in's
# refresh token in the desktop's Secret Service.
ORVANE_BUILD_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev libcurl4-openssl-dev libldap2-dev
    libsasl2-dev libsasl2-modules-gssapi-mit libgnutls28-dev qtkeychain-qt6-dev libsecret-1-0)

# Packages scripts/package needs on top: dpkg-shlibdeps (for the Depends line) and file (with
# which CPack finds the ELF files to give it).
ORVANE_PACKAGE_PACKAGES=(dpkg-dev file)

# Packages the tests need on top: GoogleTest, the servers they start (slapd, aiosmtpd, a Samba
# domain controller with its Kerberos tools, Dovecot's submission service checking OAuth 2.0
# tokens, a private session bus with GNOME's keyring as the Secret Service), the tools that
# make their certificates, clang with its libFuzzer runtime for scripts/fuzz, clang-format for
# the format check, Qt's own translations, and the validators of the Debian package (lintian,
# desktop-file-validate, appstreamcli). The OAuth tests' authorization server comes from npm
# (ensure_oauth_node_modules), run by the machine's Node.js.
ORVANE_TEST_PACKAGES=(libgtest-dev libgmock-dev slapd ldap-utils python3-aiosmtpd python3-pyasn1
    python3-pyasn1-modules samba python3-samba krb5-user openssl clang libclang-rt-14-dev
    clang-format qt6-translations-l10n "${ORVANE_PACKAGE_PACKAGES[@]}" lintian desktop-file-utils
    appstream dovecot-core dovecot-submissiond dbus gnome-keyring libsecret-1-0 libsecret-tools)

log() { printf '==> %s\n' "$*" >&2; }
die() { printf 'error: %s\n' "$*" >&2; exit 1; }

# Runs a command as root: directly when we are root, through sudo otherwise.
as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo -- "$@"
    else
        die "installing packages needs root rights, and sudo is not installed: run 'apt-get install $*' as root"
    fi
}

missing_packages() {
    local pkg status
    for pkg in "$@"; do
        status=$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null || true)
        [ "$status" = installed ] || printf '%s\n' "$pkg"
    done
}

# Packages installed for their programs only, whose system services must not run: the tests,
# demo and bench start slapd, Samba and Postfix's smtp-sink privately on ports of their own,
# and an enabled service would hold those ports and start again at every boot. Mail servers to
# come belong here too, and winbind, should samba bring it.
ORVANE_SERVICE_PACKAGES=(slapd samba winbind dovecot-core postfix)

# The command the calling script's trap runs on SIGNAL, empty when it has none.
trap_command() {
    local -a words
    eval "words=($(trap -p "$1"))"
    printf '%s' "${words[2]-}"
}

# Installs whichever of the given Debian packages are missing. Nothing is fetched, and no
# package list is refreshed, when all are there already.
ensure_packages() {
    command -v dpkg-query >/dev/null 2>&1 || die "this script sets up Debian or Ubuntu machines; install the packages by hand: $*"
    local missing services
    mapfile -t missing < <(missing_packages "$@")
    [ "${#missing[@]}" -eq 0 ] && return 0
    # Services only of packages this call brings: one the user had already is left as it was.
    mapfile -t services < <(missing_packages "${ORVANE_SERVICE_PACKAGES[@]}")
    log "installing ${missing[*]}"

    # Server packages (slapd) start a system service when installed on a person's machine.
    # Debian's invoke-rc.d asks policy-rc.d first: a temporary one that says no keeps them off.
    # Traps remove it however this ends (a failure, Ctrl+C or SIGTERM while apt-get runs),
    # then do what the caller's own traps do; the caller's traps come back afterwards.
    local policy=/usr/sbin/policy-rc.d made_policy=0 caller_traps on_int on_term
    caller_traps=$(trap -p EXIT INT TERM)
    # shellcheck disable=SC2064 # the caller's commands as they stand now go into ours
    if [ ! -e "$policy" ]; then
        made_policy=1
        on_int=$(trap_command INT) on_term=$(trap_command TERM)
        trap "as_root rm -f $policy; $(trap_command EXIT)" EXIT
        trap "as_root rm -f $policy; ${on_int:-exit 130}" INT
        trap "as_root rm -f $policy; ${on_term:-exit 143}" TERM
        as_root sh -c "printf '#!/bin/sh\nexit 101\n' > $policy && chmod 755 $policy" || true
    fi
    local rc=0
    as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq || rc=$?
    if [ "$rc" -eq 0 ]; then
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-upgrade \
            -o Dpkg::Options::=--force-confdef -o Dpkg::Options::=--force-confold "${missing[@]}" || rc=$?
    fi
    local brought=() pkg
    for pkg in "${services[@]}"; do
        [ -n "$(missing_packages "$pkg")" ] || brought+=("$pkg")
    done
    disable_services "${brought[@]}"
    [ "$made_policy" -eq 1 ] && as_root rm -f "$policy"
    trap - EXIT INT TERM
    eval "$caller_traps"
    [ "$rc" -eq 0 ] || die "could not install: ${missing[*]}"
}

# disable_services PACKAGE...: where systemd runs, stops the services of these packages and
# keeps them from starting at boot. A failure only warns.
disable_services() {
    [ -d /run/systemd/system ] && [ "$#" -gt 0 ] || return 0
    local path units=()
    # Native units and the init scripts systemd makes units of; aliases are the same units.
    while IFS= read -r path; do
        [ -L "$path" ] && continue
        case $path in
        /etc/init.d/*) units+=("${path##*/}.service") ;;
        *) units+=("${path##*/}") ;;
        esac
    done < <(dpkg -L "$@" 2>/dev/null | grep -E '^/etc/init\.d/[^/]+$|/lib/systemd/system/[^/@]+\.(service|socket)$')
    [ "${#units[@]}" -eq 0 ] && return 0
    mapfile -t units < <(printf '%s\n' "${units[@]}" | sort -u)
    log "disabling the services just installed: ${units[*]}"
    as_root systemctl disable --now "${units[@]}" \
        || log "warning: could not disable ${units[*]}; 'systemctl disable --now' them by hand"
}

# ensure_oauth_node_modules CACHE_DIR: installs the OAuth tests' authorization server
# (oidc-provider, pinned by tests/support/oauth/package-lock.json) into CACHE_DIR/oauth-node,
# where tests/support/OAuthServers.cpp runs it from. npm ci takes exactly what the lockfile
# names, from the npm registry, as the calling user; nothing is fetched when that lockfile is
# installed there already. Its version 9 needs Node.js 20 or later.
ensure_oauth_node_modules() {
    local dir=$1/oauth-node source="$ORVANE_ROOT/tests/support/oauth" major
    if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
        die "the OAuth tests need Node.js 20 or later with npm (node and npm on PATH)"
    fi
    major=$(node -p 'process.versions.node.split(".")[0]') || die "node does not run"
    [ "$major" -ge 20 ] || die "the OAuth tests' oidc-provider needs Node.js 20 or later, not $(node --version)"
    if [ -e "$dir/node_modules/oidc-provider/package.json" ] \
        && cmp -s "$source/package-lock.json" "$dir/package-lock.json" \
        && cmp -s "$source/package.json" "$dir/package.json"; then
        return 0
    fi
    log "installing the OAuth tests' authorization server (npm ci) into $dir"
    mkdir -p "$dir" || die "cannot make $dir"
    cp "$source/package.json" "$source/package-lock.json" "$dir/" \
        || die "cannot copy the npm lockfile into $dir"
    # A failed install leaves no lockfile behind, so the tests say what is missing and the next
    # run tries again.
    (cd "$dir" && npm ci --prefer-offline --no-audit --no-fund --loglevel=error) || {
        rm -f "$dir/package-lock.json"
        die "npm ci failed in $dir"
    }
}

# configure_and_build BUILD_DIR BUILD_TYPE [cmake options...]
configure_and_build() {
    local dir=$1 type=$2
    shift 2
    cmake -S "$ORVANE_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" "$@" >/dev/null \
        || die "cmake could not configure the build in $dir"
    cmake --build "$dir" --parallel "$(nproc)" || die "the build failed"
}

# debian_flags NAME: Debian's flags of that name (CXXFLAGS, LDFLAGS...) with its full hardening:
# stack protector, fortified functions, read-only relocations bound at start (hardening=+all
# adds the last). Asked in the source folder, which they map to "." in debug information.
debian_flags() {
    (cd "$ORVANE_ROOT" && DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1")
}

# build_for_package BUILD_DIR: the build the Debian package is made of (scripts/package, and
# the package test): Release, installed under /usr, with the flags Debian builds its own
# packages with; no tests.
build_for_package() {
    local cxxflags ldflags
    cxxflags="$(debian_flags CPPFLAGS) $(debian_flags CXXFLAGS)" && ldflags=$(debian_flags LDFLAGS) \
        || die "dpkg-buildflags failed (Debian package dpkg-dev)"
    configure_and_build "$1" Release -DORVANE_BUILD_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr \
        "-DCMAKE_CXX_FLAGS=$cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" \
        "-DCMAKE_SHARED_LINKER_FLAGS=$ldflags" "-DCMAKE_MODULE_LINKER_FLAGS=$ldflags"
}

# Fails, naming them, when any tracked C++ source is not as clang-format leaves it. Version 14
# (Debian 12's) only: .clang-format uses its keys, and other versions break lines differently.
check_format() {
    local tool
    tool=$(command -v clang-format-14 || command -v clang-format) || die "clang-format is not installed"
    "$tool" --version | grep -q 'version 14\.' \
        || die "the format check needs clang-format 14, not: $("$tool" --version)"
    local file unformatted=()
    while IFS= read -r -d '' file; do
        [ -e "$ORVANE_ROOT/$file" ] || continue # deleted, not yet committed
        "$tool" --dry-run -Werror "$ORVANE_ROOT/$file" >/dev/null 2>&1 || unformatted+=("$file")
    done < <(git -C "$ORVANE_ROOT" ls-files -z -- '*.cpp' '*.h')
    if [ "${#unformatted[@]}" -ne 0 ]; then
        printf '    %s\n' "${unformatted[@]}" >&2
        die "${#unformatted[@]} file(s) not formatted: run clang-format -i on them"
    fi
}

# A port of 127.0.0.1 that was free a moment ago.
free_port() {
    /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# wait_for_port PORT PID LOG: until the server started as PID accepts connections.
wait_for_port() {
    local port=$1 pid=$2 serverLog=$3
    for _ in $(seq 200); do
        kill -0 "$pid" 2>/dev/null \
            || die "the server for port $port ended early: $(tail -n 5 "$serverLog")"
        if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
            return 0
        fi
        sleep 0.05
    done
    die "nothing listens on 127.0.0.1:$port"
}

# slapd_config RUN_DIR SUFFIX [ACCESS_LINE...]: writes RUN_DIR/slapd.conf, a private slapd's
# configuration from the templates in scripts/slapd (which the tests read too), with one
# database in RUN_DIR/db and the size limits of Active Directory: 1,000 entries without paging,
# all of them page by page.
slapd_config() {
    local run=$1 suffix=$2 templates="$ORVANE_ROOT/scripts/slapd"
    shift 2
    mkdir -p "$run/db" || return 1
    {
        sed "s|@RUN_DIR@|$run|g" "$templates/slapd.conf.in" || return 1
        [ "$#" -eq 0 ] || printf '%s\n' "$@"
        sed -e "s|@SUFFIX@|$suffix|g" -e "s|@DB_DIR@|$run/db|g" \
            "$templates/slapd-database.conf.in" || return 1
        echo "sizelimit size.soft=1000 size.hard=1000 size.prtotal=unlimited"
    } >"$run/slapd.conf"
}

# start_demo_servers FOLDER LIFETIME: starts scripts/demo-servers in the background and, once
# both servers answer, sets the variables its FOLDER/servers.env names (SMTP_PORT, LDAP_PATH...).
# Call stop_demo_servers from an EXIT trap set before.
DEMO_SERVERS_PID=
start_demo_servers() {
    local folder=$1 name value
    rm -f "$folder/servers.env"
    "$ORVANE_ROOT/scripts/demo-servers" "$folder" "$2" &
    DEMO_SERVERS_PID=$!
    for _ in $(seq 300); do
        [ -e "$folder/servers.env" ] && break
        kill -0 "$DEMO_SERVERS_PID" 2>/dev/null || die "the demo servers did not start"
        sleep 0.1
    done
    [ -e "$folder/servers.env" ] || die "the demo servers did not start within 30 s"
    while IFS='=' read -r name value; do
        printf -v "$name" '%s' "$value"
    done <"$folder/servers.env"
}

stop_demo_servers() {
    [ -n "$DEMO_SERVERS_PID" ] || return 0
    kill "$DEMO_SERVERS_PID" 2>/dev/null || true
    wait "$DEMO_SERVERS_PID" 2>/dev/null || true
    DEMO_SERVERS_PID=
}
