#include "overlay_plan.h"

#include "names.h"
#include "pending_file.h"
#include "readable_name.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <system_error>
#include <utility>

namespace quadfind::cli {

namespace {

using FileId = std::pair<dev_t, ino_t>;

// The name by which two spellings of one path compare equal ("./a.bmp" and
// "a.bmp"); symlinks are left to the identity check.
std::string normalName(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return (error ? std::filesystem::path(path) : absolute).lexically_normal().string();
}

std::string baseNameWithoutExtension(const std::string& path) {
    std::string base = std::filesystem::path(path).filename().string();
    const std::size_t dot = base.rfind('.');
    if (dot != std::string::npos && dot != 0)
        base.resize(dot);
    return base.empty() ? std::string("overlay") : base;
}

} // namespace

std::vector<std::string> PlanOverlays(const std::string& overlay, const std::vector<std::string>& pictures,
                                      bool intoFolder) {
    struct stat st;
    const bool isFolder = ::stat(overlay.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    intoFolder = intoFolder || isFolder || overlay.back() == '/';

    std::vector<std::string> targets;
    if (intoFolder) {
        const std::string prefix = overlay.back() == '/' ? overlay : overlay + "/";
        for (const std::string& picture : pictures)
            targets.push_back(prefix + baseNameWithoutExtension(picture) + ".bmp");
    } else {
        targets.assign(pictures.size(), overlay);
    }

    // Every way a picture can be reached: its file, the symlink naming it,
    // and its name.
    std::map<FileId, std::size_t> pictureFiles;
    std::map<std::string, std::size_t> pictureNames;
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        if (::stat(pictures[i].c_str(), &st) == 0)
            pictureFiles.emplace(FileId{st.st_dev, st.st_ino}, i);
        if (::lstat(pictures[i].c_str(), &st) == 0)
            pictureFiles.emplace(FileId{st.st_dev, st.st_ino}, i);
        pictureNames.emplace(normalName(pictures[i]), i);
    }

    std::string problems;
    std::map<std::string, std::size_t> seen;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const std::string name = normalName(targets[i]);
        if (const auto [at, fresh] = seen.emplace(name, i); !fresh) {
            problems += "\n  the overlay " + ReadableName(targets[i]) + " would be written for both " +
                        ReadableName(pictures[at->second]) + " and " + ReadableName(pictures[i]);
            continue;
        }
        std::size_t hit = pictures.size();
        if (const auto named = pictureNames.find(name); named != pictureNames.end())
            hit = named->second;
        for (const auto look : {::stat, ::lstat})
            if (hit == pictures.size() && look(targets[i].c_str(), &st) == 0)
                if (const auto file = pictureFiles.find({st.st_dev, st.st_ino}); file != pictureFiles.end())
                    hit = file->second;
        if (hit != pictures.size())
            problems += "\n  the overlay " + ReadableName(targets[i]) + " of " + ReadableName(pictures[i]) +
                        " would replace the picture " + ReadableName(pictures[hit]);
        // The writer's own rule (WhatIsAt), checked before anything is read:
        // renaming over a device or a FIFO would replace it, not write into
        // it, so /dev/null and friends are never overlays, and a folder
        // cannot be one; a symlink is replaced, whatever it points to.
        else if (WhatIsAt(targets[i]) != AtPath::Replaceable)
            problems += "\n  the overlay " + ReadableName(targets[i]) + " of " + ReadableName(pictures[i]) + " is " +
                        kNotReplaceable;
    }
    if (!problems.empty())
        throw UsageError{"refusing to write the overlays, nothing was processed:" + problems};
    if (intoFolder) {
        std::error_code error;
        std::filesystem::create_directories(overlay, error);
        if (error)
            throw UsageError{"cannot create the overlay folder " + ReadableName(overlay) + ": " + error.message()};
    }
    return targets;
}

} // namespace quadfind::cli
