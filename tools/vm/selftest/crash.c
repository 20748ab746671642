/* Stand-in driver that crashes before printing a summary: FAIL expected. */
#include <stdio.h>
int main(void)
{
    volatile int *p = 0;
    printf("standin-crash: about to crash\n");
    fflush(stdout);
    *p = 42;
    printf("SUMMARY 1 passed, 0 failed\n");
    return 0;
}
