#include "os.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <sched.h>
#endif
#if defined(__APPLE__)
#include <sys/sysctl.h>
#include <sys/types.h>
#endif
#endif

#ifdef LOCIWEAVER_NO_FROM_CHARS_DOUBLE
#include <clocale>
#include <cmath>
#include <cstdlib>
#if defined(__APPLE__)
#include <xlocale.h>
#endif
#else
#include <charconv>
#include <system_error>
#endif

namespace {

// The count that call() returns, called again while it is interrupted
// (EINTR); -1 with err set when it fails otherwise.
template <typename F>
long resumed(F call, int& err)
{
    for (;;) {
        long k = call();
        if (k >= 0) return k;
        if (errno != EINTR) {
            err = errno;
            return -1;
        }
    }
}

}  // namespace

#ifdef _WIN32

const char oslineend[] = "\r\n";
const size_t oslineendlen = 2;
const char osnull[] = "NUL";

namespace {

// Held while writes are held (holds above 0); an ending console event
// waits for it, so that it falls between two writes, never inside one.
SRWLOCK writing = SRWLOCK_INIT;
int holds = 0;

// Every console event ends the run at once, with the status of the
// system's own handler; the event arrives on a thread of its own.  The
// process is ended without a word or a flush: what the run handed to the
// system stays, nothing is added.
BOOL WINAPI onconsoleevent(DWORD)
{
    AcquireSRWLockExclusive(&writing);
    TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
    return TRUE;
}

}  // namespace

void osstart()
{
    _setmode(osstdin, _O_BINARY);
    _setmode(osstdout, _O_BINARY);
    _setmode(osstderr, _O_BINARY);
    SetConsoleCtrlHandler(onconsoleevent, TRUE);
}

bool osregular(int fd)
{
    intptr_t h = _get_osfhandle(fd);
    return h != -1 && GetFileType(reinterpret_cast<HANDLE>(h)) == FILE_TYPE_DISK;
}

void oshold()
{
    if (holds++ == 0) AcquireSRWLockExclusive(&writing);
}

void osrelease()
{
    if (holds > 0 && --holds == 0) ReleaseSRWLockExclusive(&writing);
}

int oscreate(const char* name, int& err)
{
    int fd = _open(name, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                   _S_IREAD | _S_IWRITE);
    if (fd < 0) err = errno;
    return fd;
}

int osopen(const char* name, int& err)
{
    // Windows refuses to open a directory with a text of its own: ask first.
    DWORD attributes = GetFileAttributesA(name);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        err = EISDIR;
        return -1;
    }
    int fd = _open(name, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) err = errno;
    return fd;
}

namespace {

// At most a gigabyte a call: the counts of _read and _write are unsigned.
unsigned part(size_t n) { return n > (1u << 30) ? (1u << 30) : unsigned(n); }

}  // namespace

long osread(int fd, char* p, size_t n, int& err)
{
    return resumed([&] { return long(_read(fd, p, part(n))); }, err);
}

long oswrite(int fd, const char* p, size_t n, int& err)
{
    return resumed([&] { return long(_write(fd, p, part(n))); }, err);
}

int osclose(int fd) { return _close(fd) == 0 ? 0 : errno; }

bool osinteractive()
{
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

int osconsole()
{
    HANDLE h = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -1;
    DWORD mode;
    if (!GetConsoleMode(h, &mode)) {
        CloseHandle(h);
        return -1;
    }
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY | _O_BINARY);
    if (fd < 0) CloseHandle(h);
    return fd;
}

long ossecondofday()
{
    SYSTEMTIME t;
    GetLocalTime(&t);
    return long(t.wHour) * 3600 + long(t.wMinute) * 60 + long(t.wSecond);
}

bool osterminal(int fd)
{
    DWORD mode;
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) != 0;
}

void osmemory(unsigned long long& total, unsigned long long& avail)
{
    MEMORYSTATUSEX m;
    m.dwLength = sizeof m;
    total = avail = 0;
    if (GlobalMemoryStatusEx(&m)) {
        total = m.ullTotalPhys;
        avail = m.ullAvailPhys;
    }
}

int oscpus()
{
    DWORD_PTR process = 0, system = 0;
    int n = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system))
        for (; process != 0; process &= process - 1) ++n;
    if (n == 0) n = int(std::thread::hardware_concurrency());
    return n > 0 ? n : 1;
}

#else

const char oslineend[] = "\n";
const size_t oslineendlen = 1;
const char osnull[] = "/dev/null";

namespace {

// The holds in force, and the signal mask from before the first of them.
int holds = 0;
sigset_t unheld;

}  // namespace

void osstart() { std::signal(SIGPIPE, SIG_IGN); }

bool osregular(int fd)
{
    struct stat st;
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

void oshold()
{
    if (holds++ > 0) return;
    sigset_t ends;
    sigemptyset(&ends);
    sigaddset(&ends, SIGINT);
    sigaddset(&ends, SIGTERM);
    sigaddset(&ends, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &ends, &unheld);
}

void osrelease()
{
    if (holds == 0 || --holds > 0) return;
    pthread_sigmask(SIG_SETMASK, &unheld, nullptr);
}

int oscreate(const char* name, int& err)
{
    int fd = ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) err = errno;
    return fd;
}

int osopen(const char* name, int& err)
{
    // Non-blocking for the open alone, so that a pipe without writer cannot
    // hang the run; reads then block as usual.
    int fd = ::open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        err = errno;
        return -1;
    }
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        err = EISDIR;
        return -1;
    }
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

long osread(int fd, char* p, size_t n, int& err)
{
    return resumed([&] { return long(::read(fd, p, n)); }, err);
}

long oswrite(int fd, const char* p, size_t n, int& err)
{
    return resumed([&] { return long(::write(fd, p, n)); }, err);
}

int osclose(int fd) { return ::close(fd) == 0 || errno == EINTR ? 0 : errno; }

bool osinteractive() { return ::isatty(osstdin) != 0; }

int osconsole() { return ::open("/dev/tty", O_RDONLY | O_CLOEXEC); }

long ossecondofday()
{
    std::time_t now = std::time(nullptr);
    std::tm t;
    localtime_r(&now, &t);
    return long(t.tm_hour) * 3600 + long(t.tm_min) * 60 + long(t.tm_sec);
}

bool osterminal(int fd) { return ::isatty(fd) != 0; }

void osmemory(unsigned long long& total, unsigned long long& avail)
{
    total = avail = 0;
#if defined(__APPLE__)
    uint64_t bytes = 0;
    size_t len = sizeof bytes;
    if (sysctlbyname("hw.memsize", &bytes, &len, nullptr, 0) == 0) total = bytes;
#else
    long pages = ::sysconf(_SC_PHYS_PAGES), size = ::sysconf(_SC_PAGESIZE);
    if (pages > 0 && size > 0) total = static_cast<unsigned long long>(pages) * static_cast<unsigned long long>(size);
#endif
#if defined(__linux__)
    // What the kernel could hand out without swapping: free memory and the
    // caches it can drop.
    int fd = ::open("/proc/meminfo", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    char buf[4096];
    int err = 0;
    long k = osread(fd, buf, sizeof buf - 1, err);
    ::close(fd);
    if (k <= 0) return;
    buf[k] = '\0';
    const char* m = std::strstr(buf, "MemAvailable:");
    if (m) avail = std::strtoull(m + 13, nullptr, 10) * 1024;
#endif
}

int oscpus()
{
    int n = 0;
#if defined(__linux__)
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) n = CPU_COUNT(&set);
#endif
    if (n <= 0) n = int(std::thread::hardware_concurrency());
    return n > 0 ? n : 1;
}

#endif

std::string oserror(int err) { return std::strerror(err); }

#ifdef LOCIWEAVER_NO_FROM_CHARS_DOUBLE

// The C library's conversion, correctly rounded on the systems built for,
// under the "C" locale whatever the process's own.
bool ostodouble(const char* first, const char* last, double& v)
{
    std::string text(first, size_t(last - first));
    char* end = nullptr;
    errno = 0;
#ifdef _WIN32
    // MinGW-w64's own strtod, which reads the point of the "C" locale: the
    // programs never change their locale.
    double x = std::strtod(text.c_str(), &end);
#else
    static locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(0));
    double x = strtod_l(text.c_str(), &end, c);
#endif
    if (text.empty() || end != text.c_str() + text.size() || std::isinf(x) ||
        (x == 0 && errno == ERANGE))
        return false;
    v = x;
    return true;
}

#else

bool ostodouble(const char* first, const char* last, double& v)
{
    double x = 0;
    std::from_chars_result r = std::from_chars(first, last, x);
    if (r.ec != std::errc() || r.ptr != last) return false;
    v = x;
    return true;
}

#endif
