// What a click on "邊緣偵測" allocates: the working copy once for a picture of
// a new size, nothing full-size for a repeated click, and never a copy of
// the loaded picture. Counted by replacing the global allocator, which only
// an in-process test can do. The repeated click works in the last result's
// memory, and must still give the same results.
#include "Unit1.h"
#include "test_pictures.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<std::size_t> countFrom{0}; // 0: not counting
std::atomic<int> largeAllocations{0};
} // namespace

namespace {
void* counted(std::size_t n) {
    const std::size_t from = countFrom.load();
    if (from != 0 && n >= from)
        ++largeAllocations;
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
} // namespace

// Both forms: a sanitizer's own operator new[] would not call ours.
void* operator new(std::size_t n) { return counted(n); }
void* operator new[](std::size_t n) { return counted(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

// Allocations of at least half the picture's bytes while `action` runs.
template <class Action>
int fullSizeAllocations(const quadfind::PictureSurface& picture, Action action) {
    largeAllocations = 0;
    countFrom = picture.rowBytes() * std::size_t(picture.height()) / 2;
    action();
    countFrom = 0;
    return largeAllocations;
}

TEST(ClickAllocations, WorkingCopyOncePerSizeAndNoCopies) {
    QLocale::setDefault(QLocale::c());
    TForm1 form;
    Form1 = &form;
    // Within the static grid, so that only pictures are counted.
    const quadfind::PictureSurface small = quadfind::testing::whiteSquare();
    quadfind::PictureSurface picture(400, 300);
    for (int y = 100; y < 200; ++y)
        for (int x = 100; x < 300; ++x)
            picture.setPixel(x, y, 0xFFFFFF);

    form.Image1->setPicture(small);
    form.Button6->click();
    form.Image1->setPicture(picture);
    EXPECT_EQ(fullSizeAllocations(picture, [&] { form.Button6->click(); }), 1) << "first click at a new size";
    const quadfind::PictureSurface result = form.Image2->picture();
    const QString corner = form.Edit(7)->text();
    form.Edit(7)->setText(QStringLiteral("typed by the user"));
    EXPECT_EQ(fullSizeAllocations(picture, [&] { form.Button6->click(); }), 0) << "repeated click";
    EXPECT_TRUE(form.Image2->picture() == result);
    EXPECT_EQ(corner, QStringLiteral("99"));
    EXPECT_EQ(form.Edit(7)->text(), corner);
    EXPECT_EQ(form.Image1->picture(), picture);
    Form1 = nullptr;
    QLocale::setDefault(QLocale::system());
}

} // namespace
