#pragma once
// Texts shared by both programs' version blocks and the About window. Plain
// macros so that the resource compiler and the C++ compiler read the same file.

#define QUELLIN_COMPANY     "Brindlecote"
#define QUELLIN_PRODUCT     "Quellin"
#define QUELLIN_COPYRIGHT   "Copyright (C) 2026 Brindlecote"
#define QUELLIN_WEB_HOST    "www.brindlecote.com"
#define QUELLIN_HOME_PAGE   "https://" QUELLIN_WEB_HOST "/"
