#!/bin/sh
# Sizes of the programs (and the sign-in step setup installs for everyone)
# and their timings under Wine, as one table.
set -eu
cd "$(dirname "$0")/.."

out=$(mktemp)
trap 'rm -f "$out"' EXIT
root=$(printf 'Z:%s' "$PWD" | tr / '\\')
tests/wine/wine_session.sh build/x64/quellin_driver.exe --dist "$root\\dist\\x64" \
    bench_quellsnap bench_quellbar_click >"$out" 2>&1 || { cat "$out"; exit 1; }

# The driver, a Windows program, ends its lines with CR LF.
value() { awk -v k="$1" '{ sub(/\r$/, "") } $1 == "BENCH" && $2 == k { print $3 }' "$out"; }
snap=$(value quellsnap_start_to_command_minus_pause_ms)
empty=$(value empty_program_start_to_exit_ms)
floor=$(value window_call_program_start_to_exit_ms)
release=$(value quellsnap_last_release_to_command_ms)
release_max=$(value quellsnap_last_release_to_command_max_ms)
click=$(value quellbar_click_to_command_ms)
runs=$(value runs)

printf '%-52s %12s %12s\n' "measure" "value" "target"
for f in dist/x86/Quellsnap.exe dist/x64/Quellsnap.exe dist/x86/Quellbar.exe dist/x64/Quellbar.exe \
    dist/x86/RemovePersonalCopy.exe; do
    target=-
    [ "$f" = dist/x86/Quellsnap.exe ] && target="<= 5120"
    [ "$f" = dist/x86/Quellbar.exe ] && target="<= 12288"
    [ "$f" = dist/x86/RemovePersonalCopy.exe ] && target="<= 8192"
    printf '%-52s %12s %12s\n' "$f (bytes)" "$(stat -c %s "$f")" "$target"
done
printf '%-52s %12s %12s\n' "Quellsnap start to command - 500 ms (median of $runs)" "$snap ms" ""
# The floor is a program that makes one window-system call and ends: Quellsnap
# must use the window system, whose first call is where Wine loads its display
# driver. The empty program, which never loads it, is there for information.
printf '%-52s %12s %12s\n' "one window-system call, start to exit (median of $runs)" "$floor ms" "(floor)"
printf '%-52s %12s %12s\n' "ratio to the floor" "$(awk -v a="$snap" -v b="$floor" 'BEGIN { printf "%.2f", a / b }')" "<= 1.2"
printf '%-52s %12s %12s\n' "empty program start to exit (median of $runs)" "$empty ms" "(info)"
printf '%-52s %12s %12s\n' "ratio to the empty program" "$(awk -v a="$snap" -v b="$empty" 'BEGIN { printf "%.2f", a / b }')" ""
printf '%-52s %12s %12s\n' "Quellsnap, its keys held 1.5 s: last release" "" ""
printf '%-52s %12s %12s\n' "  to command (median of $runs)" "$release ms" "<= 100 ms"
printf '%-52s %12s %12s\n' "  to command (slowest of $runs)" "$release_max ms" ""
printf '%-52s %12s %12s\n' "Quellbar click to command (median of $runs)" "$click ms" "<= 530 ms"
