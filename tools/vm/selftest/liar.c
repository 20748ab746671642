/* Prints an all-passed summary but exits non-zero: the harness must not
 * trust the summary alone. */
#include <stdio.h>
int main(void)
{
    printf("SUMMARY 1 passed, 0 failed\n");
    return 7;
}
