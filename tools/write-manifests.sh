#!/bin/sh
# Writes the package-manager manifests for the release in RELEASE_DIR:
#   MANIFEST_DIR/winget/manifests/b/Brindlecote/Quellin/<version>/  the setup,
#       in the layout of the public winget manifest repository (a version,
#       an installer, a default-locale file and one locale file for each other
#       language of languages/, manifest version 1.12.0)
#   MANIFEST_DIR/scoop/quellin.json  the portable ZIP, for a Scoop bucket
# Both name each download by its address, RELEASE_URL/<file name>, and its
# SHA-256; the package managers refuse a file whose hash differs.
#
# Usage: write-manifests.sh RELEASE_DIR MANIFEST_DIR   (tools/release.sh runs it)
# Env:   RELEASE_URL  the https address of the folder the release's three files
#                     are uploaded to (default: under the home page, one folder
#                     per version, so that each version's SHA256SUMS stays)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
release=$1
manifests=$2
version=$("$root/tools/version.sh")

# The maker's names and home page, from the header the programs and the setup
# are built with.
text() { sed -n "s/^#define $1  *\"\([^\"]*\)\".*/\1/p" "$root/resources/product_texts.h"; }
company=$(text QUELLIN_COMPANY)
product=$(text QUELLIN_PRODUCT)
copyright=$(text QUELLIN_COPYRIGHT)
home="https://$(text QUELLIN_WEB_HOST)/"

url=${RELEASE_URL:-${home}quellin/releases/$version}
url=${url%/}
# The address goes unquoted into YAML and JSON: only characters that need no
# escaping in either, none that would end the path (?, #) or read as a Scoop
# placeholder ($), and https, which both package managers expect.
case "$url" in
    https://?*) ;;
    *) echo "write-manifests: RELEASE_URL must be an https:// address: $url" >&2; exit 1 ;;
esac
case "$url" in
    *[!A-Za-z0-9._~:/@!\&\(\)*+,\;=%-]*)
        echo "write-manifests: RELEASE_URL has a character that would need quoting: $url" >&2; exit 1 ;;
esac

setup=$product-$version-setup.exe
zip=$product-$version-portable.zip
for f in "$setup" "$zip"; do
    [ -f "$release/$f" ] || { echo "write-manifests: $release/$f is missing" >&2; exit 1; }
done
sha() { sha256sum "$release/$1" | cut -d' ' -f1; }
# winget's own tools write the hash in capitals, Scoop's in small letters.
setup_sha=$(sha "$setup" | tr a-f A-F)
zip_sha=$(sha "$zip")

# Scoop's autoupdate finds a later version's ZIP where this one lies, with the
# version in the address made a placeholder (never inside a longer number).
version_re=$(printf '%s' "$version" | sed 's/\./\\./g')
autoupdate_url=$(printf '%s\n' "$url/$product-$version-portable.zip" |
    sed -E "s#(^|[^0-9.])$version_re([^0-9.]|\$)#\\1\$version\\2#g")

id=$company.$product
lower_company=$(printf '%s' "$company" | tr A-Z a-z)
winget=$manifests/winget/manifests/$(printf '%.1s' "$lower_company")/$company/$product/$version
rm -rf "$manifests/winget" "$manifests/scoop"
mkdir -p "$winget" "$manifests/scoop"

header() { echo "# yaml-language-server: \$schema=https://aka.ms/winget-manifest.$1.1.12.0.schema.json"; echo; }

{
    header version
    cat <<EOF
PackageIdentifier: $id
PackageVersion: $version
DefaultLocale: en-US
ManifestType: version
ManifestVersion: 1.12.0
EOF
} > "$winget/$id.yaml"

# The exit codes with which setup gives up, and what winget should tell the
# person: 1 is NSIS's for the Cancel button (an interactive install), 2 the
# setup's own when a running Quellbar will not let go of its file, 3 when an
# option (winget's --custom) has a value it does not take, 4 when a
# machine-wide install runs without administrator rights, 5 when a per-user
# install runs as the SYSTEM account, whose profile is nobody's, 6 when a
# per-user install finds Quellin installed for everyone, 7 when a
# machine-wide one finds it installed by the Windows Installer package, 8
# when a machine-wide one is given a folder (winget's --location) that holds
# other files, which it will not lock and share, and 9 when the folder is
# one Windows cannot use (not a full path, a forbidden name, too long...).
return_codes="1 cancelledByUser
2 packageInUse
3 invalidParameter
4 contactSupport
5 invalidParameter
6 alreadyInstalled
7 alreadyInstalled
8 invalidParameter
9 invalidParameter"

# ProductCode is the name of the uninstall key setup writes, per user and
# machine-wide alike; winget finds an installed Quellin by it, and by the
# entry's name, publisher and version. Setup's silent and folder switches are
# NSIS's, winget's defaults for nullsoft, so the manifest names none. One
# setup file serves both scopes: /ALLUSERS makes it install for everyone,
# which needs the elevation winget then asks for before it starts setup.
{
    header installer
    cat <<EOF
PackageIdentifier: $id
PackageVersion: $version
InstallerLocale: en-US
InstallerType: nullsoft
UpgradeBehavior: install
ProductCode: $product
AppsAndFeaturesEntries:
- DisplayName: $product
  Publisher: $company
  DisplayVersion: $version
  ProductCode: $product
ExpectedReturnCodes:
EOF
    printf '%s\n' "$return_codes" | while read -r code response; do
        printf -- '- InstallerReturnCode: %s\n  ReturnResponse: %s\n' "$code" "$response"
    done
    cat <<EOF
Installers:
- Architecture: x86
  Scope: user
  InstallerUrl: $url/$setup
  InstallerSha256: $setup_sha
  InstallationMetadata:
    DefaultInstallLocation: '%LOCALAPPDATA%\\Programs\\$product'
- Architecture: x86
  Scope: machine
  InstallerUrl: $url/$setup
  InstallerSha256: $setup_sha
  InstallerSwitches:
    Custom: /ALLUSERS
  ElevationRequirement: elevationRequired
  InstallationMetadata:
    DefaultInstallLocation: '%ProgramFiles(x86)%\\$product'
ManifestType: installer
ManifestVersion: 1.12.0
EOF
} > "$winget/$id.installer.yaml"

# Each language's description lives beside the setup's texts in that language,
# in languages/<tag>/<language>.winget.yaml: its PackageLocale (a tag as
# winget takes it), ShortDescription, Description and Tags. English's is the
# default locale, which also carries the facts every language shares.
languages=$root/languages
locale_header() {
    header "$1"
    printf 'PackageIdentifier: %s\nPackageVersion: %s\n' "$id" "$version"
    cat "$2"
}
{
    locale_header defaultLocale "$languages/en/English.winget.yaml"
    cat <<EOF
Publisher: $company
PublisherUrl: $home
PackageName: $product
PackageUrl: $home
License: MIT
LicenseUrl: ${home}quellin/LICENSE.txt
Copyright: $copyright
Moniker: quellin
ManifestType: defaultLocale
ManifestVersion: 1.12.0
EOF
} > "$winget/$id.locale.en-US.yaml"
for texts in "$languages/"*/*.winget.yaml; do
    tag=$(sed -n 's/^PackageLocale: //p' "$texts")
    [ "$tag" = en-US ] && continue
    {
        locale_header locale "$texts"
        printf 'ManifestType: locale\nManifestVersion: 1.12.0\n'
    } > "$winget/$id.locale.$tag.yaml"
done

# Scoop keeps the ZIP's files in a folder of its own and puts a command for
# each "bin" on the PATH: typing quellsnap switches the displays off.
cat > "$manifests/scoop/quellin.json" <<EOF
{
    "version": "$version",
    "description": "Switches the displays off on request: Quellbar from the notification area, quellsnap at once.",
    "homepage": "$home",
    "license": "MIT",
    "url": "$url/$zip",
    "hash": "$zip_sha",
    "bin": "Quellsnap.exe",
    "shortcuts": [
        [
            "Quellbar.exe",
            "Quellbar"
        ],
        [
            "Quellsnap.exe",
            "Quellsnap"
        ]
    ],
    "checkver": {
        "url": "$home",
        "regex": "$product-([\\\\d.]+)-portable\\\\.zip"
    },
    "autoupdate": {
        "url": "$autoupdate_url",
        "hash": {
            "url": "\$baseurl/SHA256SUMS"
        }
    }
}
EOF

echo "manifests in $manifests name these downloads:"
echo "  $url/$setup"
echo "  $url/$zip"
