#include "overlay_plan.h"

#include "names.h"
#include "pending_file.h"
#include "readable_name.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
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

std::vector<std::string> targetsOf(const std::string& overlay, const std::vector<std::string>& pictures,
                                   bool intoFolder) {
    if (!intoFolder)
        return std::vector<std::string>(pictures.size(), overlay);
    const std::string prefix = overlay.back() == '/' ? overlay : overlay + "/";
    std::vector<std::string> targets;
    targets.reserve(pictures.size());
    for (const std::string& picture : pictures)
        targets.push_back(prefix + baseNameWithoutExtension(picture) + ".bmp");
    return targets;
}

// Every way a picture can be reached: its file, the symlink naming it, and
// its name. Each maps to the picture's place in the call.
struct PictureIdentities {
    std::map<FileId, std::size_t> files;
    std::map<std::string, std::size_t> names;

    explicit PictureIdentities(const std::vector<std::string>& pictures) {
        struct stat st;
        for (std::size_t i = 0; i < pictures.size(); ++i) {
            if (::stat(pictures[i].c_str(), &st) == 0)
                files.emplace(FileId{st.st_dev, st.st_ino}, i);
            if (::lstat(pictures[i].c_str(), &st) == 0)
                files.emplace(FileId{st.st_dev, st.st_ino}, i);
            names.emplace(normalName(pictures[i]), i);
        }
    }

    // The picture `target` would replace, if any.
    std::optional<std::size_t> replacedBy(const std::string& target, const std::string& name) const {
        if (const auto named = names.find(name); named != names.end())
            return named->second;
        struct stat st;
        for (const auto look : {::stat, ::lstat})
            if (look(target.c_str(), &st) == 0)
                if (const auto file = files.find({st.st_dev, st.st_ino}); file != files.end())
                    return file->second;
        return std::nullopt;
    }
};

// One line for each overlay that may not be written, all found before any
// picture is read.
std::string problemsOf(const std::vector<std::string>& targets, const std::vector<std::string>& pictures) {
    const PictureIdentities identities(pictures);
    std::string problems;
    std::map<std::string, std::size_t> seen;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const std::string name = normalName(targets[i]);
        if (const auto [at, fresh] = seen.emplace(name, i); !fresh) {
            problems += "\n  the overlay " + ReadableName(targets[i]) + " would be written for both " +
                        ReadableName(pictures[at->second]) + " and " + ReadableName(pictures[i]);
            continue;
        }
        if (const std::optional<std::size_t> hit = identities.replacedBy(targets[i], name))
            problems += "\n  the overlay " + ReadableName(targets[i]) + " of " + ReadableName(pictures[i]) +
                        " would replace the picture " + ReadableName(pictures[*hit]);
        // The writer's own rule (WhatIsAt), checked before anything is read:
        // renaming over a device or a FIFO would replace it, not write into
        // it, so /dev/null and friends are never overlays, and a folder
        // cannot be one; a symlink is replaced, whatever it points to.
        else if (WhatIsAt(targets[i]) != AtPath::Replaceable)
            problems += "\n  the overlay " + ReadableName(targets[i]) + " of " + ReadableName(pictures[i]) + " is " +
                        kNotReplaceable;
    }
    return problems;
}

} // namespace

std::vector<std::string> PlanOverlays(const std::string& overlay, const std::vector<std::string>& pictures,
                                      bool intoFolder) {
    struct stat st;
    const bool isFolder = ::stat(overlay.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    intoFolder = intoFolder || isFolder || overlay.back() == '/';
    std::vector<std::string> targets = targetsOf(overlay, pictures, intoFolder);
    const std::string problems = problemsOf(targets, pictures);
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
