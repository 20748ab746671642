# Sourced by the tools/vm scripts. Everything that decides what ends up
# inside the guest image must feed vm_image_key, so the cache key changes
# whenever the image would (and only then: a rebuild costs ~4 min).

VM_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
VM_REPO_ROOT=$(cd "$VM_DIR/../.." && pwd)
VM_CACHE=${QUELLIN_VM_CACHE:-/var/cache/quellin-vm}

# Paths inside the guest, baked into the image by build-image.sh (and
# spelled out again in guest-init.sh); their values are part of the key.
VM_GUEST_INIT=/usr/local/sbin/quellin-init
VM_GUEST_SHARE=/share
VM_GUEST_WINEPREFIX=/opt/quellin/wineprefix
VM_SHARE_TAG=quellin

vm_image_inputs() {
    printf '%s\n' "$VM_DIR/build-image.sh" "$VM_DIR/guest-init.sh" "$VM_DIR/guest-packages.txt"
}

vm_image_key() {
    local f
    {
        # Not the whole of this file: its helpers don't change the image.
        printf 'init=%s share=%s prefix=%s tag=%s\n' \
            "$VM_GUEST_INIT" "$VM_GUEST_SHARE" "$VM_GUEST_WINEPREFIX" "$VM_SHARE_TAG"
        for f in $(vm_image_inputs); do
            printf '== %s\n' "$(basename "$f")"
            cat "$f"
        done
    } | sha256sum | cut -c1-16
}

vm_image_dir() {
    printf '%s/img-%s\n' "$VM_CACHE" "$(vm_image_key)"
}

# An image dir counts only once build-image.sh renamed it into place, and
# that happens after the READY file was written inside the temp dir.
vm_image_ready() {
    [ -f "$1/READY" ] && [ -f "$1/rootfs.img" ] && [ -f "$1/vmlinuz" ] && [ -f "$1/initrd.img" ]
}

vm_log() { printf '[vm] %s\n' "$*" >&2; }
# vm_die MESSAGE [EXIT_CODE]
vm_die() { printf '[vm] ERROR: %s\n' "$1" >&2; exit "${2:-1}"; }

# vm_ensure_host_tools CMD:PACKAGE ...
# Installs the Debian packages for any missing command. Only root can; anyone
# else gets the exact apt-get line to run, and we stop.
vm_ensure_host_tools() {
    local pair missing=()
    for pair in "$@"; do
        command -v "${pair%%:*}" >/dev/null 2>&1 || missing+=("${pair#*:}")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local line="apt-get install -y --no-install-recommends ${missing[*]}"
    if [ "$(id -u)" != 0 ]; then
        vm_die "missing host tools; as root run: $line"
    fi
    vm_log "installing host tools: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    # The package lists may be absent or stale on a fresh machine; refresh
    # once and retry rather than failing on the first 404.
    timeout 900 $line >/dev/null 2>&1 ||
        { timeout 600 apt-get update -q >/dev/null 2>&1; timeout 900 $line; } ||
        vm_die "could not install: ${missing[*]}"
    for pair in "$@"; do
        command -v "${pair%%:*}" >/dev/null 2>&1 || vm_die "still missing after install: ${pair%%:*}"
    done
}
