#include "format_guess.h"

#include "bmp_format.h"
#include "bmp_reader.h"
#include "file_names.h"
#include "qt_decoder.h"

#include <QByteArray>
#include <QImageReader>

#include <algorithm>
#include <iterator>

namespace quadfind {

std::vector<std::string> ReadableSuffixes() {
    std::vector<std::string> suffixes(std::begin(kBitmapSuffixes), std::end(kBitmapSuffixes));
    for (const QByteArray& format : QImageReader::supportedImageFormats())
        if (std::find(suffixes.begin(), suffixes.end(), format.toLower().toStdString()) == suffixes.end())
            suffixes.push_back(format.toLower().toStdString());
    return suffixes;
}

bool HasReadableSuffix(std::string_view path) {
    static const std::vector<std::string> suffixes = ReadableSuffixes();
    const std::string suffix = NameSuffix(path);
    return !suffix.empty() && std::find(suffixes.begin(), suffixes.end(), suffix) != suffixes.end();
}

std::string SuffixFormat(std::string_view path) {
    const std::string suffix = NameSuffix(path);
    return !suffix.empty() && QImageReader::supportedImageFormats().contains(QByteArray::fromStdString(suffix))
               ? suffix
               : std::string();
}

bool LooksLikeAPicture(std::span<const std::uint8_t> prefix) {
    return HasBmpSignature(prefix) || QtRecognises(prefix);
}

std::optional<std::pair<std::uint64_t, std::uint64_t>> DeclaredSize(std::span<const std::uint8_t> start) {
    if (HasBmpSignature(start))
        return DeclaredBmpSize(start);
    if (const QSize size = QtDeclaredSize(start); size.isValid())
        return std::pair{std::uint64_t(size.width()), std::uint64_t(size.height())};
    return std::nullopt;
}

} // namespace quadfind
