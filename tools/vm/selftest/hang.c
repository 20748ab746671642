/* Never finishes: the harness must stop at its timeout and FAIL. */
#include <windows.h>
int main(void)
{
    for (;;)
        Sleep(1000);
}
