// Our BMP reader held to its two tables: every valid variant pixel for pixel,
// even at exactly the size limit; every broken file refused with its own
// message before its picture is allocated; no cut file read differently.
#include "bmp_cases.h"
#include "bmp_reader.h"
#include "counting_allocator.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <map>

using namespace quadfind;
using namespace quadfind::testing;

namespace {

// Cut anywhere, a file must be refused, never read past its end (the
// sanitizer build sees those), or read as the same picture.
TEST(BmpReader, ValidVariantsDecodeToTheirExactColoursAndNoCutChangesThem) {
    for (const ValidBmp& c : ValidBmps()) {
        PictureSurface p;
        const std::uint64_t pixels = std::uint64_t(c.picture.width()) * std::uint64_t(c.picture.height());
        EXPECT_EQ(refusal([&] { p = DecodeBmp(c.file, LoadLimits{pixels}); }), "(read)") << c.name;
        EXPECT_EQ(p, c.picture) << c.name;
        for (std::size_t n = 0; n < c.file.size(); ++n)
            refusal([&] { EXPECT_EQ(DecodeBmp({c.file.data(), n}), p) << c.name << " cut to " << n << " bytes"; });
    }
}

TEST(BmpReader, BrokenFilesAreRefusedWithTheirOwnMessageBeforeAllocating) {
    for (const BrokenBmp& c : BrokenBmps()) {
        const AllocationWatch watch;
        EXPECT_EQ(refusal([&] { DecodeBmp(c.file, LoadLimits{c.maxPixels}); }), c.message) << c.name;
        EXPECT_LT(watch.largest(), 64u * 1024) << c.name << " allocated before refusing";
    }
}

// Huffman 1D's rows go through the indexed path: an index past a short
// palette is refused before the picture (75 x 8, 1800 bytes) is allocated.
TEST(BmpReader, Huffman1DIndexPastAShortPaletteIsRefusedBeforeThePicture) {
    int seen = 0;
    for (const ValidBmp& c : ValidBmps())
        if (c.name.starts_with("Os2v2Huffman1D")) {
            Bytes file = c.file;
            put(file, 14 + 32, 1); // one colour used of the two there
            const AllocationWatch watch(std::size_t(75) * 8 * 3);
            EXPECT_EQ(refusal([&] { DecodeBmp(file); }),
                      "pixel (0, 7) has colour index 1, past the palette's 1 colours")
                << c.name;
            EXPECT_EQ(watch.counted(), 0) << c.name << " allocated the picture before refusing";
            ++seen;
        }
    EXPECT_EQ(seen, 2);
}

// The fuzzer's seed corpus is the files of both tables, and must not drift
// from them. When a table changes, this writes the new corpus next to the
// test program, to be copied over the committed one.
TEST(BmpReader, SeedCorpusIsTheTables) {
    namespace fs = std::filesystem;
    std::map<std::string, Bytes> tables, corpus;
    for (const ValidBmp& c : ValidBmps())
        tables["valid-" + c.name + ".bmp"] = c.file;
    for (const BrokenBmp& c : BrokenBmps())
        tables["broken-" + c.name + ".bmp"] = c.file;
    for (const auto& entry : fs::directory_iterator(QUADFIND_SEED_CORPUS)) {
        std::ifstream in(entry.path(), std::ios::binary);
        corpus[entry.path().filename().string()] = Bytes{std::istreambuf_iterator<char>(in), {}};
    }
    if (corpus != tables) {
        const fs::path fresh = fs::absolute("seed-corpus");
        fs::remove_all(fresh);
        fs::create_directories(fresh);
        for (const auto& [name, bytes] : tables)
            writeFile(fresh / name, bytes);
        ADD_FAILURE() << QUADFIND_SEED_CORPUS << " is not the tables' files: replace its files with those in " << fresh;
    }
}

} // namespace
