# make            install what is missing, build dist/x86 and dist/x64
# make test       the same, then every test through CTest (then the 32-bit VM run)
# make test-x64   the same without the VM run
# make test-x86   the Wine tests on the shipped 32-bit files, inside a Debian VM
# make release    dist/release: the setup, the portable ZIP and SHA256SUMS
#                 (SIGN_PFX=file.pfx SIGN_PASS=... signs them), in
#                 dist/manifests the winget and Scoop manifests for them
#                 (RELEASE_URL=https://... is where they will be downloaded),
#                 and in dist/site the download site to upload
# make bench      sizes and timings, as a table
# make run        start Quellbar in a Wine desktop (on $DISPLAY, or on Xvfb)
# make screenshots  pictures of Quellbar and of the download site for docs/
# make icons      regenerate resources/icons/*.ico from their pixel sources
# make check-fresh  `make` and `make test-x64` of the commit at HEAD in a
#                 stock Debian 12 chroot (as root; downloads about 1 GB)

.PHONY: all deps site-deps build build-host release test test-x64 test-x86 bench run screenshots icons check-fresh clean

# The release version (QUELLIN_VERSION in resources/product_texts.h), which
# the release files are named after.
VERSION := $(shell tools/version.sh)
# The package one version later, which the tests upgrade to (tools/release.sh).
NEXT_VERSION := $(shell echo $(VERSION) | awk -F. '{ $$NF = $$NF + 1; print }' OFS=.)
# What the installer case checks the installed setup against.
WINGET_INSTALLER_MANIFEST := dist/manifests/winget/manifests/b/Brindlecote/Quellin/$(VERSION)/Brindlecote.Quellin.installer.yaml

all: build

deps:
	@tools/install-deps.sh

# Node.js and the npm packages of the download site's test and pictures;
# building needs neither.
site-deps:
	@tools/install-deps.sh --site

build: deps
	cmake --preset x86 >/dev/null
	cmake --build --preset x86 -j2
	cmake --preset x64 >/dev/null
	cmake --build --preset x64 -j2
	@ls -l dist/x86 dist/x64

build-host: deps
	cmake --preset host >/dev/null
	cmake --build --preset host -j2

# The tests install the setup's x64 twin, which the release step makes too.
export SIGN_PFX SIGN_PASS SIGN_TIMESTAMP_URL RELEASE_URL
release: build
	tools/release.sh

test-x64: build build-host release site-deps
	ctest --preset host

test: test-x64 test-x86

# The whole driver on the shipped files, the shipped setup and package among
# them (longer than the VM's default 900 s under load), then
# the tray pictures once more on a system that reports version 5.0, where the
# 256-colour pair must show.
test-x86: build release
	rm -rf build/vm-dist-x86 && mkdir -p build/vm-dist-x86 && cp -a dist/x86/. build/vm-dist-x86/ && \
	    cp dist/release/Quellin-$(VERSION)-setup.exe dist/release/Quellin-$(VERSION).msi $(WINGET_INSTALLER_MANIFEST) \
	        build/release-x64/x86/Quellin-$(NEXT_VERSION).msi build/vm-dist-x86/
	QUELLIN_VM_TIMEOUT=$${QUELLIN_VM_TIMEOUT:-1800} \
	    tools/vm/test-x86.sh build/vm-dist-x86 build/x86/quellin_driver.exe tests/wine/wine_session.sh --x86 @DIST@ \
	    --setup @DIST@/Quellin-$(VERSION)-setup.exe --manifest @DIST@/$(notdir $(WINGET_INSTALLER_MANIFEST)) \
	    --msi @DIST@/Quellin-$(VERSION).msi --msi-next @DIST@/Quellin-$(NEXT_VERSION).msi
	QUELLIN_WINVER=win2k tools/vm/test-x86.sh dist/x86 build/x86/quellin_driver.exe tests/wine/wine_session.sh \
	    --x86 @DIST@ quellbar_tray_pictures_follow_system_version

bench: build
	tools/bench.sh

run: build
	tools/run.sh

screenshots: release site-deps
	tools/screenshots.sh

icons: build-host
	cmake --build --preset host --target icons

check-fresh:
	tools/check-fresh.sh

clean:
	rm -rf build dist
