#include "names.h"

#include <QByteArray>
#include <QImageReader>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <set>

namespace quadfind::cli {

namespace {

std::string lowercase(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return s;
}

const std::set<std::string>& pictureExtensions() {
    static const std::set<std::string> extensions = [] {
        std::set<std::string> e{"bmp", "dib"};
        for (const QByteArray& format : QImageReader::supportedImageFormats())
            e.insert(lowercase(format.toStdString()));
        return e;
    }();
    return extensions;
}

bool isPictureName(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    return dot != std::string::npos && dot != 0 && pictureExtensions().count(lowercase(name.substr(dot + 1))) != 0;
}

std::vector<std::string> picturesIn(const std::string& folder) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir)
        throw UsageError{"cannot read the folder " + Escaped(folder) + ": " + std::strerror(errno)};
    const std::string prefix = folder.back() == '/' ? folder : folder + "/";
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        struct stat st;
        const std::string path = prefix + entry->d_name;
        if (isPictureName(entry->d_name) && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            names.push_back(path);
        errno = 0;
    }
    if (errno != 0)
        throw UsageError{"cannot read the folder " + Escaped(folder) + ": " + std::strerror(errno)};
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

std::vector<std::string> ReadNameList(const std::string& listFile, bool nulSeparated) {
    const bool standardInput = listFile == "-";
    const int fd = standardInput ? 0 : ::open(listFile.c_str(), O_RDONLY | O_CLOEXEC);
    const std::string shown = standardInput ? std::string("standard input") : Escaped(listFile);
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

std::string Escaped(std::string_view name) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(name.size());
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(name[i]); };
    const auto hex = [&](unsigned char c) {
        out += "\\x";
        out += kHex[c >> 4];
        out += kHex[c & 15];
    };
    for (std::size_t i = 0; i < name.size();) {
        const unsigned char c = byte(i);
        if (c == '\\') {
            out += "\\\\";
            ++i;
        } else if (c == '\n') {
            out += "\\n";
            ++i;
        } else if (c == '\t') {
            out += "\\t";
            ++i;
        } else if (c < 0x20 || c == 0x7f) {
            hex(c);
            ++i;
        } else if (c < 0x80) {
            out += char(c);
            ++i;
        } else {
            // A well-formed UTF-8 sequence passes, unless it encodes a C1
            // control character (U+0080 to U+009F), which terminals obey.
            const std::size_t length = c >= 0xf0 && c <= 0xf4 ? 4 : c >= 0xe0 ? 3 : c >= 0xc2 && c < 0xe0 ? 2 : 0;
            bool wellFormed = length != 0 && i + length <= name.size();
            for (std::size_t k = 1; wellFormed && k < length; ++k)
                wellFormed = (byte(i + k) & 0xc0) == 0x80;
            if (wellFormed && length == 3)
                wellFormed = !(c == 0xe0 && byte(i + 1) < 0xa0) && !(c == 0xed && byte(i + 1) >= 0xa0);
            if (wellFormed && length == 4)
                wellFormed = !(c == 0xf0 && byte(i + 1) < 0x90) && !(c == 0xf4 && byte(i + 1) >= 0x90);
            if (wellFormed && c == 0xc2 && byte(i + 1) < 0xa0)
                wellFormed = false;
            if (wellFormed) {
                out.append(name.substr(i, length));
                i += length;
            } else {
                hex(c);
                ++i;
            }
        }
    }
    return out;
}

} // namespace quadfind::cli
