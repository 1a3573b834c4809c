// The R functions' way into the library (lociweaver.h): each entry takes
// vectors that the R side has checked and coerced, runs one analysis, and
// returns a list of its status, the library's message and the results.
// The R side turns a status into an R error or an interrupt.
//
// No R error may jump across a C++ frame: the entries hold nothing with
// a destructor, the analysis is owned by an external pointer (so that R's
// collector frees it whatever happens), and the work that can throw (the
// writing of a file) runs in a function of its own that catches
// everything and answers with a message.
#include "arith.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>

#include "lociweaver.h"
#include "output/output.h"
#include "textio/os.h"
#include "textio/progress.h"
#include "textio/stream.h"

#define R_NO_REMAP
#include <R.h>
#include <R_ext/Rdynload.h>
#include <Rinternals.h>

namespace {

// The external pointer's finalizer: frees the analysis once.
void release(SEXP p)
{
    lw_analysis* a = static_cast<lw_analysis*>(R_ExternalPtrAddr(p));
    if (a) {
        lw_free(a);
        R_ClearExternalPtr(p);
    }
}

// A new analysis owned by the returned external pointer (protected once by
// the caller); an R error when there is no memory for it.
SEXP newanalysis()
{
    lw_analysis* a = lw_new();
    if (!a) Rf_error("not enough memory for an analysis");
    SEXP p = PROTECT(R_MakeExternalPtr(a, R_NilValue, R_NilValue));
    R_RegisterCFinalizerEx(p, release, TRUE);
    UNPROTECT(1);
    return p;
}

lw_analysis* analysisof(SEXP p) { return static_cast<lw_analysis*>(R_ExternalPtrAddr(p)); }

// The answer of an entry: a named list of the status, the message and the
// n results given (names and values, the values protected by the caller).
SEXP answer(int status, const char* message, int n, const char* const* names, const SEXP* values)
{
    SEXP out = PROTECT(Rf_allocVector(VECSXP, n + 2));
    SEXP nm = PROTECT(Rf_allocVector(STRSXP, n + 2));
    SET_VECTOR_ELT(out, 0, Rf_ScalarInteger(status));
    SET_STRING_ELT(nm, 0, Rf_mkChar("status"));
    SET_VECTOR_ELT(out, 1, Rf_mkString(message));
    SET_STRING_ELT(nm, 1, Rf_mkChar("message"));
    for (int k = 0; k < n; ++k) {
        SET_VECTOR_ELT(out, k + 2, values[k]);
        SET_STRING_ELT(nm, k + 2, Rf_mkChar(names[k]));
    }
    Rf_setAttrib(out, R_NamesSymbol, nm);
    UNPROTECT(2);
    return out;
}

// The failure of a: its status and message, the analysis released.
SEXP failure(SEXP p, int status)
{
    char words[1024];
    std::snprintf(words, sizeof words, "%s", lw_message(analysisof(p)));
    release(p);
    return answer(status, words, 0, nullptr, nullptr);
}

// A copy of n doubles from p (none when p is null) as an R vector, with
// dimensions rows x cols when rows > 0.
SEXP doubles(const double* p, int n, int rows = 0, int cols = 0)
{
    SEXP v = PROTECT(Rf_allocVector(REALSXP, p ? n : 0));
    if (p && n > 0) std::memcpy(REAL(v), p, sizeof(double) * size_t(n));
    if (p && rows > 0) {
        SEXP dim = PROTECT(Rf_allocVector(INTSXP, 2));
        INTEGER(dim)[0] = rows;
        INTEGER(dim)[1] = cols;
        Rf_setAttrib(v, R_DimSymbol, dim);
        UNPROTECT(1);
    }
    UNPROTECT(1);
    return v;
}

// The sites of a: the n + nsup rows of the matrix xy (main sites first).
// Returns a status.
int givesites(lw_analysis* a, SEXP xy, int nsup)
{
    SEXP dim = Rf_getAttrib(xy, R_DimSymbol);
    if (TYPEOF(xy) != REALSXP || Rf_length(dim) != 2) Rf_error("the sites are not a numeric matrix");
    const int ntot = INTEGER(dim)[0], ncoord = INTEGER(dim)[1];
    return lw_sites(a, ntot - nsup, nsup, ncoord, REAL(xy));
}

// The state of the progress callback of one run.
struct telling {
    bool bar = false;      // draw the bar on R's console
    int raiseat = 0;       // tests: raise SIGINT at this telling (0 never)
    int calls = 0;         // tellings so far
    bool interrupted = false;  // R's interrupt came: the run is cancelled
    bool shown = false;    // a bar is on the console's current line
};

void checkinterrupt(void*) { R_CheckUserInterrupt(); }

// The progress callback: checks R's interrupt (under R_ToplevelExec, so
// that the jump of an interrupt ends there and never crosses the library's
// frames) and answers nonzero to cancel; draws the bar when asked.  Told
// on the thread of lw_run, R's own.
int tell(void* context, const char* what, int n, double done, double elapsed)
{
    telling* t = static_cast<telling*>(context);
    if (!what) {
        if (t->shown) REprintf("\n");
        t->shown = false;
        return 0;
    }
    if (t->interrupted) return 1;
    if (t->raiseat > 0 && ++t->calls == t->raiseat) std::raise(SIGINT);
    if (!R_ToplevelExec(checkinterrupt, nullptr)) {
        t->interrupted = true;
        return 1;
    }
    if (t->bar) {
        const int width = 30;
        char bar[width + 1], text[100];
        int k = int(done * width);
        for (int j = 0; j < width; ++j) bar[j] = j < k ? '=' : ' ';
        bar[width] = '\0';
        progtext(text, what, n, done, elapsed);
        REprintf("\r[%s]%s   ", bar, text);
        t->shown = true;
    }
    return 0;
}

// Writes the n x nvar variables x in the layout (1 to 3) to the new file
// path, by the dialogue's writers; method 1 PCNM, 2 monomials of order of
// ncoord coordinates.  Returns 0, or 1 with the reason in words (len
// characters at most); the file may then be incomplete.
int writefile(const double* x, int n, int nvar, int ncoord, int method, int order, int layout,
              const char* path, char* words, size_t len)
{
    units* io = new (std::nothrow) units;
    if (!io) {
        std::snprintf(words, len, "not enough memory to write %s", path);
        return 1;
    }
    int status = 0;
    try {
        initunits(*io);
        int err = 0;
        stream& s = io->vars;
        s.fd = oscreate(path, err);
        if (s.fd < 0) {
            std::snprintf(words, len, "cannot create %s: %s", path, oserror(err).c_str());
            status = 1;
        } else {
            s.regular = osregular(s.fd);
            std::snprintf(s.name, sizeof s.name, "%s", path);
            if (layout == 3)
                canocofree(n, ncoord, nvar, n, x, method, order, s);
            else
                writeout(n, ncoord, nvar, n, x, layout, method, order, s);
            closes(s);
        }
    } catch (const ioerror& e) {
        std::snprintf(words, len, "cannot write %s: %s", path, e.message.c_str());
        status = 1;
    } catch (const std::bad_alloc&) {
        std::snprintf(words, len, "not enough memory to write %s", path);
        status = 1;
    } catch (...) {
        std::snprintf(words, len, "cannot write %s", path);
        status = 1;
    }
    if (status != 0 && io->vars.fd >= 0) osclose(io->vars.fd);
    delete io;
    return status;
}

// The PCNM analysis of the sites xy (a numeric matrix, the nsup
// supplementary sites last) run in a: their longitudes and latitudes when
// lonlat, the limit lim (NA: the tree's limit, then put in lim), threads
// threads (0 every processor), the first leading variables alone (0 all),
// told to t.  Returns a status.
int runpcnm(lw_analysis* a, SEXP xy, int nsup, bool lonlat, double& lim, int threads, int first,
            telling& t)
{
    int status = givesites(a, xy, nsup);
    if (status == LW_OK) status = lw_lonlat(a, lonlat);
    if (status == LW_OK && ISNA(lim)) status = lw_treelimit(a, &lim, nullptr);
    if (status == LW_OK) status = lw_pcnm(a, lim);
    if (status == LW_OK) status = lw_first(a, first);
    if (status == LW_OK) status = lw_threads(a, threads);
    if (status == LW_OK) status = lw_progress(a, tell, &t, t.raiseat > 0);
    if (status == LW_OK) status = lw_run(a);
    return status;
}

}  // namespace

extern "C" {

// PCNM variables of the sites xy (a numeric matrix, the nsup supplementary
// sites last; longitudes and latitudes when lonlat) with the limit (NA: the
// tree's limit), threads threads (0
// every processor), the first leading variables alone (0 all), a progress
// bar when bar; raiseat for the tests.  Returns the answer with variables,
// eigenvalues (every one of the whole analysis; the count found of the
// leading ones), count, missing (the leading ones asked for but not
// positive), moran (count x 4), correlation, limit (as applied, in the
// coordinates' units), sums, and analysis: the external pointer that owns
// the analysis, for new sites (lwr_place).
SEXP lwr_pcnm(SEXP xy, SEXP nsup, SEXP lonlat, SEXP limit, SEXP threads, SEXP bar, SEXP raiseat,
              SEXP first)
{
    SEXP p = PROTECT(newanalysis());
    lw_analysis* a = analysisof(p);
    double lim = Rf_asReal(limit);
    const int k = Rf_asInteger(first);
    telling t;
    t.bar = Rf_asLogical(bar) == TRUE;
    t.raiseat = Rf_asInteger(raiseat);
    int status = runpcnm(a, xy, Rf_asInteger(nsup), Rf_asLogical(lonlat) == TRUE, lim, Rf_asInteger(threads), k, t);
    if (status != LW_OK) {
        SEXP out = failure(p, t.interrupted ? -1 : status);
        UNPROTECT(1);
        return out;
    }
    const int rows = lw_rows(a), count = lw_count(a), ntot = Rf_nrows(xy);
    double sums[3];
    lw_sums(a, sums);
    const char* names[] = {"variables", "eigenvalues", "count", "missing", "moran",
                           "correlation", "limit", "sums", "analysis"};
    SEXP values[9];
    values[0] = PROTECT(doubles(lw_variables(a), rows * count, rows, count));
    values[1] = PROTECT(doubles(lw_eigenvalues(a), k > 0 ? count : ntot));
    values[2] = PROTECT(Rf_ScalarInteger(count));
    values[3] = PROTECT(Rf_ScalarInteger(lw_missing(a)));
    values[4] = PROTECT(doubles(lw_moran(a), count * 4, count, 4));
    values[5] = PROTECT(Rf_ScalarReal(lw_correlation(a)));
    values[6] = PROTECT(Rf_ScalarReal(lim));
    values[7] = PROTECT(doubles(sums, 3));
    values[8] = p;
    SEXP out = answer(LW_OK, "", 9, names, values);
    UNPROTECT(9);
    return out;
}

// Whether the external pointer p (of lwr_pcnm) still holds its analysis:
// FALSE once it was saved and loaded.
SEXP lwr_alive(SEXP p)
{
    return Rf_ScalarLogical(TYPEOF(p) == EXTPTRSXP && R_ExternalPtrAddr(p) != nullptr);
}

// The variables of the new sites xy (a numeric matrix of the analysed
// sites' coordinates) in the analysis of the external pointer p.  Returns
// the answer with variables (rows of xy x the analysis's count).
SEXP lwr_place(SEXP p, SEXP xy)
{
    if (TYPEOF(p) != EXTPTRSXP || !analysisof(p)) Rf_error("the analysis is not there");
    SEXP dim = Rf_getAttrib(xy, R_DimSymbol);
    if (TYPEOF(xy) != REALSXP || Rf_length(dim) != 2) Rf_error("the new sites are not a numeric matrix");
    lw_analysis* a = analysisof(p);
    const int m = INTEGER(dim)[0], count = lw_count(a);
    SEXP v = PROTECT(Rf_allocMatrix(REALSXP, m, count));
    int status = lw_place(a, m, REAL(xy), REAL(v));
    SEXP out;
    if (status != LW_OK) {
        out = answer(status, lw_message(a), 0, nullptr, nullptr);
    } else {
        const char* names[] = {"variables"};
        out = answer(LW_OK, "", 1, names, &v);
    }
    UNPROTECT(1);
    return out;
}

// The monomials of the polynomial of the order of the sites xy.  Returns
// the answer with variables.
SEXP lwr_polynomial(SEXP xy, SEXP order)
{
    SEXP p = PROTECT(newanalysis());
    lw_analysis* a = analysisof(p);
    int status = givesites(a, xy, 0);
    if (status == LW_OK) status = lw_polynomial(a, Rf_asInteger(order));
    if (status == LW_OK) status = lw_run(a);
    if (status != LW_OK) {
        SEXP out = failure(p, status);
        UNPROTECT(1);
        return out;
    }
    const int rows = lw_rows(a), count = lw_count(a);
    const char* names[] = {"variables"};
    SEXP values[1];
    values[0] = PROTECT(doubles(lw_variables(a), rows * count, rows, count));
    release(p);
    SEXP out = answer(LW_OK, "", 1, names, values);
    UNPROTECT(2);
    return out;
}

// The tree's limit of the sites xy (nsup of them supplementary; longitudes
// and latitudes when lonlat).  Returns the answer with limit and text (the
// decimal as lociweaver-threshold answers it).
SEXP lwr_threshold(SEXP xy, SEXP nsup, SEXP lonlat)
{
    SEXP p = PROTECT(newanalysis());
    lw_analysis* a = analysisof(p);
    double lim = 0;
    char text[40] = "";
    int status = givesites(a, xy, Rf_asInteger(nsup));
    if (status == LW_OK) status = lw_lonlat(a, Rf_asLogical(lonlat) == TRUE);
    if (status == LW_OK) status = lw_treelimit(a, &lim, text);
    if (status != LW_OK) {
        SEXP out = failure(p, status);
        UNPROTECT(1);
        return out;
    }
    release(p);
    const char* names[] = {"limit", "text"};
    SEXP values[2];
    values[0] = PROTECT(Rf_ScalarReal(lim));
    values[1] = PROTECT(Rf_mkString(text));
    SEXP out = answer(LW_OK, "", 2, names, values);
    UNPROTECT(3);
    return out;
}

// Writes the variables x (a numeric matrix) to the new file path in the
// layout, as the dialogue does: method 1 PCNM, 2 monomials of the order
// of ncoord coordinates.  Returns the answer.
SEXP lwr_write(SEXP x, SEXP path, SEXP layout, SEXP method, SEXP ncoord, SEXP order)
{
    if (TYPEOF(x) != REALSXP || !Rf_isMatrix(x)) Rf_error("the variables are not a numeric matrix");
    if (!Rf_isString(path) || Rf_length(path) != 1) Rf_error("the file name is not a string");
    char words[1024] = "";
    int status = writefile(REAL(x), Rf_nrows(x), Rf_ncols(x), Rf_asInteger(ncoord), Rf_asInteger(method),
                           Rf_asInteger(order), Rf_asInteger(layout), R_ExpandFileName(Rf_translateChar(STRING_ELT(path, 0))),
                           words, sizeof words);
    return answer(status, words, 0, nullptr, nullptr);
}

static const R_CallMethodDef calls[] = {
    {"lwr_pcnm", (DL_FUNC)&lwr_pcnm, 8},
    {"lwr_alive", (DL_FUNC)&lwr_alive, 1},
    {"lwr_place", (DL_FUNC)&lwr_place, 2},
    {"lwr_polynomial", (DL_FUNC)&lwr_polynomial, 2},
    {"lwr_threshold", (DL_FUNC)&lwr_threshold, 3},
    {"lwr_write", (DL_FUNC)&lwr_write, 6},
    {nullptr, nullptr, 0}};

void R_init_lociweaver(DllInfo* dll)
{
    R_registerRoutines(dll, nullptr, calls, nullptr, nullptr);
    R_useDynamicSymbols(dll, FALSE);
    R_forceSymbols(dll, TRUE);
}

}  // extern "C"
