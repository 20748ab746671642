/* Stand-in driver that succeeds: the harness must report PASS. */
#include <stdio.h>
int main(void)
{
    printf("standin-pass: pointer size %u\n", (unsigned)sizeof(void *));
    printf("SUMMARY 1 passed, 0 failed\n");
    return sizeof(void *) == 4 ? 0 : 1;
}
