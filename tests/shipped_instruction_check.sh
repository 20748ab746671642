#!/bin/sh
# The shipped 32-bit programs must run on every processor Windows 2000 and XP
# run on: the Pentium, Pentium MMX, AMD K6 and VIA C3 included. None of those
# has the Pentium Pro's conditional moves (cmov, fcmov) or its flag-setting
# floating-point compares (fcomi, fucomi), and only some have MMX; none has
# SSE. An emulator has them all, so running the programs proves nothing: the
# code itself is read.
#
#   shipped_instruction_check.sh FILE.exe...
# Environment: OBJDUMP (default i686-w64-mingw32-objdump).
set -u
: "${OBJDUMP:=i686-w64-mingw32-objdump}"

# Everything that is not on a Pentium: by mnemonic, and MMX and SSE code
# also by its registers.
forbidden='(^|[[:space:]])(f?cmov[a-z]*|fu?comip?|emms|femms|prefetch[a-z0-9]*|[slm]fence|movnti|clflush|ldmxcsr|stmxcsr|fxsave|fxrstor)([[:space:]]|$)|%[xyz]?mm[0-9]'

[ $# -gt 0 ] || { echo "usage: $0 FILE.exe..." >&2; exit 2; }
status=0
for file in "$@"; do
    listing=$("$OBJDUMP" -d --no-show-raw-insn "$file" 2>&1) || {
        echo "$file: cannot disassemble: $listing"
        status=1
        continue
    }
    # One instruction a line, "  ADDRESS:<tab>INSTRUCTION".
    instructions=$(printf '%s\n' "$listing" | grep -E '^ *[0-9a-f]+:'"$(printf '\t')")
    count=$(printf '%s' "$instructions" | grep -c .)
    offending=$(printf '%s\n' "$instructions" | awk -F'\t' -v re="$forbidden" '$2 ~ re')
    bad=$(printf '%s' "$offending" | grep -c .)
    echo "$(basename "$file"): $count instructions, $bad not available on every x86 processor"
    [ -n "$offending" ] && printf '%s\n' "$offending"
    # An empty listing would pass every check: no code read, nothing proven.
    if [ "$count" -eq 0 ]; then
        echo "$(basename "$file"): no code found"
        status=1
    fi
    [ "$bad" -eq 0 ] || status=1
done
exit $status
