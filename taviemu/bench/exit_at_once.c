/* The host side of startup_bench.sh: a program that exits at once with
 * status 0, as exit_at_once.asm does. */
int main(void)
{
    return 0;
}
