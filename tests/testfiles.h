// Files for the unit tests, the same on every system: a temporary
// directory, descriptors on files and on the null device, and the text of
// what the layer wrote with the platform's line ends turned into "\n".
#ifndef LOCIWEAVER_TESTS_TESTFILES_H
#define LOCIWEAVER_TESTS_TESTFILES_H

#include <gtest/gtest.h>

#include <fcntl.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>

#include "textio/os.h"

// A fresh directory for the files of a test, removed at the end.
struct tempdir {
    std::string path;
    tempdir()
    {
        std::random_device seed;
        std::filesystem::path base = std::filesystem::temp_directory_path();
        for (int tries = 0; path.empty() && tries < 100; ++tries) {
            std::filesystem::path p = base / ("lociweaver-test-" + std::to_string(seed()));
            std::error_code ec;
            if (std::filesystem::create_directory(p, ec)) path = p.generic_string();
        }
        if (path.empty()) throw std::runtime_error("no temporary directory");
    }
    ~tempdir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

// The text as the layer writes it on this system with each line end turned
// into "\n"; a line feed that is not part of the system's line end fails
// the test.
inline std::string native(const std::string& text)
{
    std::string out;
    size_t feeds = 0, ends = 0;
    for (size_t k = 0; k < text.size();) {
        if (text.compare(k, oslineendlen, oslineend) == 0) {
            out += '\n';
            k += oslineendlen;
            ++ends;
            continue;
        }
        feeds += text[k] == '\n';
        out += text[k++];
    }
    EXPECT_EQ(feeds, 0u) << "line feeds outside the line ends of this system (" << ends << " line ends)";
    return out;
}

// The bytes of the file path, unchanged.
inline std::string slurp(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream o;
    o << f.rdbuf();
    return o.str();
}

inline void spit(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// A descriptor writing the file path, created anew.
inline int writeto(const std::string& path)
{
    std::error_code ec;
    std::filesystem::remove(path, ec);
    int err = 0;
    int fd = oscreate(path.c_str(), err);
    if (fd < 0) throw std::runtime_error("cannot create " + path + ": " + oserror(err));
    return fd;
}

// A descriptor reading the file path.
inline int readfrom(const std::string& path)
{
    int err = 0;
    int fd = osopen(path.c_str(), err);
    if (fd < 0) throw std::runtime_error("cannot open " + path + ": " + oserror(err));
    return fd;
}

// A descriptor writing to the null device.
inline int nullfd() { return ::open(osnull, O_WRONLY); }

// A descriptor reading text, from a file of the directory dir.
inline int textfd(const std::string& dir, const std::string& text)
{
    static int count = 0;
    std::string path = dir + "/text" + std::to_string(++count) + ".txt";
    spit(path, text);
    return readfrom(path);
}

#endif
