/* The PCNM variables of a coordinates file from the Lociweaver library:
 * the file (X and Y, as in sites.txt) on standard input, the variables of
 * the main sites on standard output, one line per site.
 *   cc library.c $(pkg-config --cflags --libs lociweaver) && ./a.out < sites.txt */
#include <stdio.h>
#include <lociweaver.h>

int main(void)
{
    static double xy[2 * 10000];
    int n, ncoord, nsup, i, j, k;
    lw_analysis* a = lw_new();
    if (scanf("%d %d %d%*[^\n]", &n, &ncoord, &nsup) != 3 || ncoord != 2 || n + nsup > 10000) return 1;
    for (i = 0; i < n + nsup; ++i)
        if (scanf("%lf %lf%*[^\n]", &xy[i], &xy[i + n + nsup]) != 2) return 1;
    if (lw_sites(a, n, nsup, 2, xy) || lw_pcnm(a, 40) || lw_run(a)) {
        fprintf(stderr, "%s\n", lw_message(a));
        return 1;
    }
    for (k = lw_count(a), i = 0; i < n; ++i, printf("\n"))
        for (j = 0; j < k; ++j) printf(" %10.6f", lw_variables(a)[i + j * n]);
    lw_free(a);
    return 0;
}
