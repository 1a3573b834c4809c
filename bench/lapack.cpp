#include "lapack.h"

#include <cstddef>

extern "C" {
void dsyevd_(const char* jobz, const char* uplo, const int* n, double* a, const int* lda,
             double* w, double* work, const int* lwork, int* iwork, const int* liwork, int* info,
             size_t, size_t);
void dsyev_(const char* jobz, const char* uplo, const int* n, double* a, const int* lda,
            double* w, double* work, const int* lwork, int* info, size_t, size_t);
// OpenBLAS only; null with another library.
void openblas_set_num_threads(int) __attribute__((weak));
}

bool haslapack() { return true; }

void onethread()
{
    if (openblas_set_num_threads) openblas_set_num_threads(1);
}

void syevdsize(int n, int& lwork, int& liwork)
{
    double w = 0, a = 0, q = 0;
    int iq = 0, info = 0, minus = -1, lda = n > 1 ? n : 1;
    dsyevd_("V", "L", &n, &a, &lda, &w, &q, &minus, &iq, &minus, &info, 1, 1);
    lwork = int(q);
    liwork = iq;
}

int syevsize(int n)
{
    double w = 0, a = 0, q = 0;
    int info = 0, minus = -1, lda = n > 1 ? n : 1;
    dsyev_("V", "L", &n, &a, &lda, &w, &q, &minus, &info, 1, 1);
    return int(q);
}

int syevd(int n, double* a, int lda, double* w, double* work, int lwork, int* iwork, int liwork)
{
    int info = 0;
    dsyevd_("V", "L", &n, a, &lda, w, work, &lwork, iwork, &liwork, &info, 1, 1);
    return info;
}

int syev(int n, double* a, int lda, double* w, double* work, int lwork)
{
    int info = 0;
    dsyev_("V", "L", &n, a, &lda, w, work, &lwork, &info, 1, 1);
    return info;
}
