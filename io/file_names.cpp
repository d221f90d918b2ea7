#include "file_names.h"

#include <algorithm>

namespace quadfind {

std::string NameSuffix(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return {};
    std::string suffix(name.substr(dot + 1));
    for (char& c : suffix)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return suffix;
}

bool IsBitmapName(std::string_view path) {
    const std::string suffix = NameSuffix(path);
    return std::find(std::begin(kBitmapSuffixes), std::end(kBitmapSuffixes), suffix) != std::end(kBitmapSuffixes);
}

} // namespace quadfind
