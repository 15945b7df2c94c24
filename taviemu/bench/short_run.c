/* The host side of the short program that driver_bench.sh runs: the loop
 * of short_run.asm, then exit with status 0. */
int main(void)
{
    volatile unsigned short sum = 0;
    unsigned short turn;
    for (turn = 10000; turn > 0; turn--)
        sum = (unsigned short)((sum + turn) << 1 | (unsigned short)(sum + turn) >> 15);
    return 0;
}
