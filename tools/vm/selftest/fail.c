/* Stand-in driver with one failing test: the harness must report FAIL. */
#include <stdio.h>
int main(void)
{
    printf("standin-fail: check 1 FAILED on purpose\n");
    printf("SUMMARY 0 passed, 1 failed\n");
    return 1;
}
