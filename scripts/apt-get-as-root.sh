# Sourced by the scripts that install or remove Debian packages.
#
#   apt_get_as_root ARG...   apt-get ARG..., non-interactive, directly as root
#                            and through sudo otherwise; without either it
#                            says so on standard error and returns 1
apt_get_as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        env DEBIAN_FRONTEND=noninteractive apt-get "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo env DEBIAN_FRONTEND=noninteractive apt-get "$@"
    else
        echo "$(basename "$0"): apt-get $1 needs root: run as root or install sudo" >&2
        return 1
    fi
}
