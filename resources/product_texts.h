#pragma once
// Texts shared by both programs' version blocks and the About window. Plain
// macros so that the resource compiler and the C++ compiler read the same file.

#define QUELLIN_COMPANY     "Brindlecote"
#define QUELLIN_PRODUCT     "Quellin"
#define QUELLIN_COPYRIGHT   "Copyright (C) 2026 Brindlecote"
#define QUELLIN_WEB_HOST    "www.brindlecote.com"
#define QUELLIN_HOME_PAGE   "https://" QUELLIN_WEB_HOST "/"
// The release version. The version blocks, the About window, the setup, the
// release file names and the package manifests all read it from this line
// (tools/version.sh prints it): a package manager that finds two numbers for
// one release installs it again and again. Only PRODUCTVERSION's four numbers
// in version_block.rc must follow by hand; release.contents compares them.
#define QUELLIN_VERSION     "1.0"
