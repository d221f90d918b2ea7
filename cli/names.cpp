#include "names.h"

#include "format_guess.h"
#include "readable_name.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace quadfind::cli {

namespace {

std::vector<std::string> picturesIn(const std::string& folder) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir)
        throw UsageError{"cannot read the folder " + ReadableName(folder) + ": " + std::strerror(errno)};
    const std::string prefix = folder.back() == '/' ? folder : folder + "/";
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        struct stat st;
        const std::string path = prefix + entry->d_name;
        // The loader's own suffix rule, so that a folder stands for the files
        // it would read by their names.
        if (HasReadableSuffix(entry->d_name) && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            names.push_back(path);
        errno = 0;
    }
    if (errno != 0)
        throw UsageError{"cannot read the folder " + ReadableName(folder) + ": " + std::strerror(errno)};
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

std::vector<std::string> ReadNameList(const std::string& listFile, bool nulSeparated) {
    const bool standardInput = listFile == "-";
    const int fd = standardInput ? 0 : ::open(listFile.c_str(), O_RDONLY | O_CLOEXEC);
    const std::string shown = standardInput ? std::string("standard input") : ReadableName(listFile);
    if (fd < 0)
        throw UsageError{"cannot read the list " + shown + ": " + std::strerror(errno)};
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            if (!standardInput)
                ::close(fd);
            throw UsageError{"cannot read the list " + shown + ": " + std::strerror(error)};
        }
        if (n == 0)
            break;
        bytes.append(buffer, std::size_t(n));
    }
    if (!standardInput)
        ::close(fd);

    std::vector<std::string> names;
    const char separator = nulSeparated ? '\0' : '\n';
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find(separator, start);
        if (end == std::string::npos)
            end = bytes.size();
        if (end > start)
            names.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

std::vector<std::string> ExpandFolders(const std::vector<std::string>& names) {
    std::vector<std::string> out;
    out.reserve(names.size());
    for (const std::string& name : names) {
        struct stat st;
        if (name != "-" && ::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            std::vector<std::string> inside = picturesIn(name);
            out.insert(out.end(), std::make_move_iterator(inside.begin()), std::make_move_iterator(inside.end()));
        } else {
            out.push_back(name);
        }
    }
    return out;
}

} // namespace quadfind::cli
