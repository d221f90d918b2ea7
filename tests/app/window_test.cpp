// The real program on a real X server, used as a person uses it: every case
// starts its own Xvfb (and, in the second run, openbox), starts
// build/.../app/quadfind, moves the pointer and presses keys through XTEST,
// and judges only by what reaches the screen and the clipboard:
//   - the views' pixels, read back from the screen, against the loaded
//     picture and against the core's own result for it;
//   - the fields' texts, through the panel's "Copy results";
//   - a message box's text, through its own Ctrl+C.
#include "bmp_writer.h"
#include "edge_detection.h"
#include "panel_text.h"
#include "x_display.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <random>
#include <sstream>

using namespace quadfind;
using namespace quadfind::testing;

namespace {

struct Rect {
    int x, y, width, height;
};
// Client-area places of the controls the cases use.
constexpr Rect kImage1{8, 0, 329, 345}, kImage2{344, 0, 321, 345};
constexpr ScreenPoint kLaod{776 + 36, 4 + 12}, kDetect{848 + 37, 4 + 12};
constexpr ScreenPoint kPanel{700, 360}; // the panel's empty area, right of the views
constexpr ScreenPoint kBackground{100, 450}; // no control covers it

// Red and green are noise, so that a shifted, swapped or scaled pixel shows;
// blue is 255 inside the convex quadrilateral `corner` (clockwise) and 0
// outside, so the core finds its outline.
PictureSurface QuadPicture(int width, int height, std::array<Point, 4> corner, unsigned seed) {
    PictureSurface picture(width, height);
    std::mt19937 noise(seed);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            bool inside = true;
            for (int i = 0; i < 4; ++i) {
                const Point a = corner[i], b = corner[(i + 1) % 4];
                inside &= (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x) >= 0;
            }
            std::uint8_t* p = picture.row(y) + 3 * x;
            p[0] = inside ? 255 : 0;
            p[1] = std::uint8_t(noise());
            p[2] = std::uint8_t(noise());
        }
    return picture;
}

// What the core makes of a picture, as the window must show it.
struct Expected {
    PictureSurface result;
    FieldTexts fields;
};

Expected Detect(const PictureSurface& picture) {
    Expected out;
    EdgePassWorkspace workspace;
    out.fields = RunEdgeDetection(picture, out.result, workspace, ".").fields;
    return out;
}

ShownFields InitialFields() {
    return ShownAfterFirstRun(FieldTexts{});
}

ShownFields After(ShownFields shown, const FieldTexts& run) {
    for (int n = 1; n <= FieldTexts::kCount; ++n)
        if (run.edit(n))
            shown[std::size_t(n - 1)] = *run.edit(n);
    return shown;
}

// The X and Y columns of "Copy results", back in field order.
std::optional<ShownFields> ParsePanel(const QString& text) {
    ShownFields shown;
    int found = 0;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        for (const PanelRow& row : kPanelRows) {
            if (!line.startsWith(QString::fromUtf8(row.heading)))
                continue;
            const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            if (words.size() < 3)
                return std::nullopt;
            shown[std::size_t(row.xField - 1)] = words[words.size() - 2].toStdString();
            shown[std::size_t(row.yField - 1)] = words.back().toStdString();
            ++found;
        }
    }
    if (found != int(kPanelRows.size()))
        return std::nullopt;
    return shown;
}

std::string Describe(const ShownFields& shown) {
    std::ostringstream out;
    for (int n = 1; n <= FieldTexts::kCount; ++n)
        out << " Edit" << n << "=\"" << shown[std::size_t(n - 1)] << '"';
    return out.str();
}

class RealWindow : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir(dir.path()).mkpath("config") && QDir(dir.path()).mkpath("runtime") &&
                    QDir(dir.path()).mkpath("start"));
        QFile::setPermissions(dir.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        display = std::make_unique<XDisplay>(GetParam());
        ASSERT_TRUE(display->ok());

        QProcessEnvironment environment = display->environment();
        environment.insert("LC_ALL", "C.UTF-8"); // '.' in the half sizes
        // Qt's file dialog keeps its history there; every case starts afresh.
        environment.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        environment.insert("XDG_RUNTIME_DIR", dir.filePath("runtime"));
        program = std::make_unique<Child>(QStringLiteral(QUADFIND_PROGRAM), QStringList{}, environment,
                                          dir.filePath("start"));

        // Shown and painted: the form's own colour where no control is.
        ASSERT_TRUE(WaitFor(
            [&] {
                form = display->findWindow([](const QString& t) { return t == QLatin1String("Form1"); });
                if (!form)
                    return false;
                const auto o = display->origin(*form);
                if (!o)
                    return false;
                origin = *o;
                background = display->pixel(origin.x + kBackground.x, origin.y + kBackground.y);
                return background != 0;
            },
            20s))
            << "no painted window titled Form1; the program said: " << program->output().toStdString();
    }

    void TearDown() override {
        if (HasFailure() && program) {
            QProcess& p = program->process();
            if (p.state() == QProcess::NotRunning)
                std::cerr << "the program has ended: "
                          << (p.exitStatus() == QProcess::CrashExit ? "killed by signal " : "exit code ")
                          << p.exitCode() << '\n';
            std::cerr << "the program said: " << program->output().toStdString() << '\n';
        }
        program.reset();
        display.reset();
    }

    ScreenPoint at(ScreenPoint client) const { return {origin.x + client.x, origin.y + client.y}; }

    QString save(const QString& name, const PictureSurface& picture) {
        const QString path = dir.filePath(name);
        SaveBmp(picture, path.toStdString());
        return path;
    }

    // Laod of the small picture, then one click on 邊緣偵測; `expected`
    // receives what the window must show.
    void loadSmallAndDetect(Expected& expected) {
        loadByTyping(save("small.bmp", small));
        ASSERT_TRUE(viewShows(kImage1, small));
        display->click(at(kDetect));
        expected = Detect(small);
        ASSERT_TRUE(viewShows(kImage2, expected.result));
    }

    // A file that starts like a bitmap and is none.
    QString writeBroken() {
        const QString path = dir.filePath("broken.bmp");
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write("BM not a bitmap at all") > 0);
        return path;
    }

    // Any window of the program's besides the form: the dialog or a message box.
    std::optional<unsigned long> dialog() const {
        return display->findWindow([](const QString& t) { return t != QLatin1String("Form1"); });
    }
    // A message box: titled with the program's name.
    std::optional<unsigned long> messageBox() const {
        return display->findWindow([](const QString& t) { return t == QLatin1String("quadfind"); });
    }
    bool waitForDialog() const {
        return WaitFor([&] { return dialog().has_value(); });
    }
    bool waitForNoDialog() const {
        return WaitFor([&] { return !dialog().has_value(); });
    }

    // Laod, the path typed into the dialog's file name field, Return.
    void loadByTyping(const QString& path) {
        display->click(at(kLaod));
        ASSERT_TRUE(waitForDialog()) << "Laod opened no dialog";
        display->type(path);
        display->key("Return");
    }

    // Waits until the view shows `picture` from its top-left corner, unscaled
    // and clipped, and the form's colour beyond it (nothing at all when
    // `picture` is empty). Checks every pixel.
    // With `pan`, the picture's pixel `pan` is the one at the top-left corner.
    ::testing::AssertionResult viewShows(Rect view, const PictureSurface& picture, Point pan = {}) const {
        PictureSurface want(view.width, view.height);
        for (int y = 0; y < view.height; ++y)
            for (int x = 0; x < view.width; ++x) {
                const int px = x + pan.x, py = y + pan.y;
                want.setPixel(x, y, px < picture.width() && py < picture.height() ? picture.pixel(px, py) : background);
            }
        PictureSurface seen;
        if (WaitFor([&] {
                seen = display->grab(origin.x + view.x, origin.y + view.y, view.width, view.height);
                return seen == want;
            }))
            return ::testing::AssertionSuccess();
        long wrong = 0;
        std::ostringstream first;
        for (int y = 0; y < view.height; ++y)
            for (int x = 0; x < view.width; ++x)
                if (seen.pixel(x, y) != want.pixel(x, y) && wrong++ == 0)
                    first << std::hex << "first at (" << std::dec << x << ", " << y << "): 0x" << std::hex
                          << seen.pixel(x, y) << " instead of 0x" << want.pixel(x, y);
        return ::testing::AssertionFailure() << wrong << " of " << view.width * view.height
                                             << " pixels differ from the expected view, " << first.str();
    }

    // The fields as "Copy results" on the panel's context menu gives them.
    std::optional<ShownFields> fields() {
        const std::set<unsigned long> before = display->popups();
        display->claimClipboard();
        display->click(at(kPanel), 3);
        if (!WaitFor([&] { return display->popups() != before; })) {
            ADD_FAILURE() << "right-clicking the panel opened no menu";
            return std::nullopt;
        }
        display->key("Down");
        display->key("Return");
        if (!WaitFor([&] { return display->clipboardTaken(); })) {
            ADD_FAILURE() << "the panel's menu copied nothing";
            return std::nullopt;
        }
        const QString text = display->clipboardText();
        const auto shown = ParsePanel(text);
        if (!shown)
            ADD_FAILURE() << "the copied results have not seven rows of X and Y:\n" << text.toStdString();
        return shown;
    }

    void expectFields(const ShownFields& want) {
        const auto shown = fields();
        if (shown) {
            EXPECT_EQ(*shown, want) << "shown:" << Describe(*shown) << "\nwanted:" << Describe(want);
        }
    }

    // The text of the message box on screen, copied as a person would:
    // click on the text (its rightmost dark grey pixel in the box's upper
    // half, above the buttons and right of the icon), select all, copy.
    QString messageText() {
        QString text;
        WaitFor([&] {
            const auto box = messageBox();
            const auto boxAt = box ? display->origin(*box) : std::nullopt;
            const auto boxSize = box ? display->size(*box) : std::nullopt;
            if (!boxAt || !boxSize)
                return false;
            const PictureSurface shot = display->grab(boxAt->x, boxAt->y, boxSize->x, boxSize->y / 2);
            std::optional<ScreenPoint> onText;
            for (int x = shot.width() - 1; x >= 0 && !onText; --x) // the icon is on the left
                for (int y = 0; y < shot.height() && !onText; ++y) {
                    const Colour c = shot.pixel(x, y);
                    const int b = int(c >> 16), g = int((c >> 8) & 0xFF), r = int(c & 0xFF);
                    if (std::max({r, g, b}) < 100 && std::max({r, g, b}) - std::min({r, g, b}) < 16)
                        onText = ScreenPoint{boxAt->x + x, boxAt->y + y};
                }
            if (!onText)
                return false;
            display->claimClipboard();
            display->click(*onText);
            display->key("ctrl+a");
            display->key("ctrl+c");
            if (!WaitFor([&] { return display->clipboardTaken(); }, 200ms))
                return false;
            text = display->clipboardText();
            return true;
        });
        if (text.isEmpty())
            ADD_FAILURE() << "the message box's text cannot be selected and copied";
        return text;
    }

    QTemporaryDir dir;
    std::unique_ptr<XDisplay> display;
    std::unique_ptr<Child> program;
    std::optional<unsigned long> form;
    ScreenPoint origin;
    Colour background = 0;
    const PictureSurface noPicture;
    const PictureSurface small = QuadPicture(300, 240, {{{60, 40}, {250, 70}, {230, 210}, {80, 190}}}, 1);
    // Larger than either view, with corners outside them.
    const PictureSurface large = QuadPicture(500, 420, {{{120, 90}, {470, 130}, {430, 400}, {150, 380}}}, 2);
};

TEST_P(RealWindow, NothingLoadedShowsTheMessageThenTheEmptyResults) {
    display->click(at(kDetect));
    ASSERT_TRUE(WaitFor([&] { return messageBox().has_value(); })) << "no message box";
    EXPECT_TRUE(messageText().contains(QString::fromUtf8("請載入圖檔!!")));
    display->key("Return");
    ASSERT_TRUE(waitForNoDialog()) << "OK did not close the message box";

    EXPECT_TRUE(viewShows(kImage1, noPicture));
    EXPECT_TRUE(viewShows(kImage2, noPicture));
    expectFields(After(InitialFields(), Detect(noPicture).fields));
}

// The first click after the dialog closes must reach the button.
TEST_P(RealWindow, LoadByTypedPathThenOneClickGivesTheExactResult) {
    loadByTyping(save("small.bmp", small));
    ASSERT_TRUE(viewShows(kImage1, small)) << "Image1 after Load";
    EXPECT_TRUE(viewShows(kImage2, noPicture)) << "Load touched Image2";

    display->click(at(kDetect));
    const Expected expected = Detect(small);
    EXPECT_TRUE(viewShows(kImage2, expected.result)) << "Image2 after one click on 邊緣偵測";
    EXPECT_TRUE(viewShows(kImage1, small)) << "detection changed Image1";
    expectFields(After(InitialFields(), expected.fields));
}

// The second time, the dialog must not keep the first name for the typed
// one to be appended to.
TEST_P(RealWindow, SecondLoadByTypedPathReplacesOnlyThePicture) {
    Expected first;
    ASSERT_NO_FATAL_FAILURE(loadSmallAndDetect(first));

    loadByTyping(save("large.bmp", large));
    EXPECT_TRUE(viewShows(kImage1, large)) << "Image1 after the second Load";
    ASSERT_FALSE(dialog()) << "the dialog is still open: it refused the typed name";
    EXPECT_TRUE(viewShows(kImage2, first.result)) << "the second Load touched Image2";
    expectFields(After(InitialFields(), first.fields));

    display->click(at(kDetect));
    const Expected second = Detect(large);
    EXPECT_TRUE(viewShows(kImage2, second.result));
    expectFields(After(After(InitialFields(), first.fields), second.fields));
}

TEST_P(RealWindow, BrokenFileShowsAnErrorNamingItAndChangesNothing) {
    Expected expected;
    ASSERT_NO_FATAL_FAILURE(loadSmallAndDetect(expected));

    const QString broken = writeBroken();
    loadByTyping(broken);
    ASSERT_TRUE(WaitFor([&] { return messageBox().has_value(); })) << "no error box after loading a broken file";
    const QString text = messageText();
    EXPECT_TRUE(text.contains(QStringLiteral("Cannot load ") + broken + QStringLiteral(": ")))
        << "the box does not name the file:\n" << text.toStdString();
    display->key("Return");
    ASSERT_TRUE(waitForNoDialog()) << "the error box did not close";

    EXPECT_TRUE(viewShows(kImage1, small)) << "a failed Load changed Image1";
    EXPECT_TRUE(viewShows(kImage2, expected.result)) << "a failed Load changed Image2";
    expectFields(After(InitialFields(), expected.fields));
}

TEST_P(RealWindow, CancelChangesNothing) {
    display->click(at(kLaod));
    ASSERT_TRUE(waitForDialog());
    display->key("Escape");
    ASSERT_TRUE(waitForNoDialog()) << "Escape did not close the dialog";
    EXPECT_TRUE(viewShows(kImage1, noPicture));

    loadByTyping(save("small.bmp", small));
    ASSERT_TRUE(viewShows(kImage1, small));
    display->click(at(kLaod));
    ASSERT_TRUE(waitForDialog());
    display->type(dir.filePath("large.bmp")); // typed, then thought better of
    // The first Escape may only close the name's completion list.
    ASSERT_TRUE(WaitFor([&] {
        display->key("Escape");
        return WaitFor([&] { return !dialog(); }, 2s);
    })) << "Escape did not close the dialog";
    EXPECT_TRUE(viewShows(kImage1, small)) << "cancelling replaced the picture";
    EXPECT_TRUE(viewShows(kImage2, noPicture));
    expectFields(InitialFields());
}

// A camera's or a Windows share's PHOTO.BMP: the dialog must list it. Only
// the folder is typed; the name is taken from the dialog's list of files.
TEST_P(RealWindow, CapitalBmpNameIsListed) {
    ASSERT_TRUE(QDir(dir.path()).mkpath("camera"));
    save("camera/PHOTO.BMP", small);
    {
        QFile other(dir.filePath("camera/PLAN.txt"));
        ASSERT_TRUE(other.open(QIODevice::WriteOnly) && other.write("not a picture\n") > 0);
    }
    display->click(at(kLaod));
    ASSERT_TRUE(waitForDialog());
    display->type(dir.filePath("camera"));
    display->key("Return");    // opens the folder
    display->key("shift+Tab"); // to the folder's list
    // The list fills in the background: Home goes to its first entry once
    // there is one, Space picks it and Return opens it.
    EXPECT_TRUE(WaitFor([&] {
        display->key("Home");
        display->key("space");
        display->key("Return");
        return WaitFor([&] { return !dialog(); }, 2s);
    })) << "PHOTO.BMP is not listed";
    EXPECT_TRUE(viewShows(kImage1, small)) << "PHOTO.BMP was not loaded";
}

// Laod has the focus at start; nothing but keys is used.
TEST_P(RealWindow, KeyboardOnlyGivesTheExactResult) {
    const QString path = save("small.bmp", small);
    display->key("space");
    ASSERT_TRUE(waitForDialog()) << "Space on Laod opened no dialog";
    display->type(path);
    display->key("Return");
    ASSERT_TRUE(viewShows(kImage1, small)) << "Image1 after Load";
    display->key("Tab");
    display->key("space");
    const Expected expected = Detect(small);
    EXPECT_TRUE(viewShows(kImage2, expected.result)) << "Image2 after Tab and Space";
    expectFields(After(InitialFields(), expected.fields));
}

// A picture larger than its view: dragging pans it, as far as its edges; a
// new picture shows from its top-left corner again. "Copy picture" on the
// view's menu copies the whole picture, not what the view shows.
TEST_P(RealWindow, LargePictureIsPannedByDraggingAndCopiedWhole) {
    const QString path = save("large.bmp", large);
    loadByTyping(path);
    ASSERT_TRUE(viewShows(kImage1, large));

    display->drag(at({200, 200}), at({100, 150}));
    EXPECT_TRUE(viewShows(kImage1, large, {100, 50})) << "after dragging by (-100, -50)";
    display->drag(at({100, 300}), at({-200, 0}));
    EXPECT_TRUE(viewShows(kImage1, large, {large.width() - kImage1.width, large.height() - kImage1.height}))
        << "dragging past the picture's corner";

    const std::set<unsigned long> before = display->popups();
    display->claimClipboard();
    display->click(at({100, 100}), 3);
    ASSERT_TRUE(WaitFor([&] { return display->popups() != before; })) << "right-clicking Image1 opened no menu";
    display->key("Down"); // Save picture as…
    display->key("Down"); // Copy picture
    display->key("Return");
    ASSERT_TRUE(WaitFor([&] { return display->clipboardTaken(); })) << "Copy picture copied nothing";
    const QImage copied = QImage::fromData(display->clipboardData("image/png"), "PNG");
    ASSERT_EQ(copied.size(), QSize(large.width(), large.height())) << "the clipboard holds no such PNG picture";
    PictureSurface pasted(copied.width(), copied.height());
    for (int y = 0; y < copied.height(); ++y)
        for (int x = 0; x < copied.width(); ++x) {
            const QRgb c = copied.pixel(x, y);
            pasted.setPixel(x, y, Colour(qRed(c)) | Colour(qGreen(c)) << 8 | Colour(qBlue(c)) << 16);
        }
    EXPECT_TRUE(pasted == large) << "the copied picture differs from the loaded one";

    loadByTyping(path);
    EXPECT_TRUE(viewShows(kImage1, large)) << "Load again: not from the top-left corner";
}

// "Save picture as…" on a view's menu writes what the view holds: PNG for a
// .png name, BMP for a .bmp name or one without an ending.
TEST_P(RealWindow, SavePictureAsWritesTheViewsPicture) {
    Expected expected;
    ASSERT_NO_FATAL_FAILURE(loadSmallAndDetect(expected));

    struct Case {
        const char* typed;
        const char* written;
        const char* format;
    };
    for (const Case& c : {Case{"result.png", "result.png", "PNG"}, Case{"result", "result.bmp", "BMP"}}) {
        const std::set<unsigned long> before = display->popups();
        display->click(at({kImage2.x + 100, 100}), 3);
        ASSERT_TRUE(WaitFor([&] { return display->popups() != before; })) << "right-clicking Image2 opened no menu";
        display->key("Down"); // Save picture as…
        display->key("Return");
        ASSERT_TRUE(waitForDialog()) << "Save picture as… opened no dialog";
        display->type(dir.filePath(c.typed));
        display->key("Return");
        const QString written = dir.filePath(c.written);
        ASSERT_TRUE(WaitFor([&] { return !dialog() && QFile::exists(written); })) << c.typed << ": nothing saved";
        const QImage image(written, c.format);
        ASSERT_EQ(image.size(), QSize(small.width(), small.height())) << written.toStdString();
        PictureSurface saved(image.width(), image.height());
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb px = image.pixel(x, y);
                saved.setPixel(x, y, Colour(qRed(px)) | Colour(qGreen(px)) << 8 | Colour(qBlue(px)) << 16);
            }
        EXPECT_TRUE(saved == expected.result) << c.typed << ": the saved picture is not the result";
    }
}

// Double-clicking a view opens its picture in a window of its own; "1:1"
// shows it pixel for pixel from its top-left corner.
TEST_P(RealWindow, DoubleClickOpensAViewerThatShowsThePictureOneToOne) {
    loadByTyping(save("large.bmp", large));
    ASSERT_TRUE(viewShows(kImage1, large));
    display->doubleClick(at({100, 100}));
    std::optional<unsigned long> viewer;
    ASSERT_TRUE(WaitFor([&] {
        viewer = display->findWindow([](const QString& t) { return t == QLatin1String("quadfind: Image1"); });
        return viewer.has_value();
    })) << "no window titled \"quadfind: Image1\"";
    ASSERT_TRUE(WaitFor([&] { return display->focus() == *viewer; })) << "the viewer did not get the focus";
    const auto viewerAt = display->origin(*viewer);
    ASSERT_TRUE(viewerAt);
    display->click({viewerAt->x + 66, viewerAt->y + 21}); // "1:1", right of "Fit" in the viewer's top row

    // Where the picture's top-left corner shows: the one place in the window
    // that matches its first 8 x 8 pixels.
    const auto shown = [&]() -> std::optional<std::pair<ScreenPoint, ScreenPoint>> {
        const auto o = display->origin(*viewer);
        const auto size = display->size(*viewer);
        if (!o || !size)
            return std::nullopt;
        const PictureSurface shot = display->grab(o->x, o->y, size->x, size->y);
        for (int y = 0; y + 8 <= shot.height(); ++y)
            for (int x = 0; x + 8 <= shot.width(); ++x) {
                bool same = true;
                for (int dy = 0; dy < 8 && same; ++dy)
                    same = std::memcmp(shot.row(y + dy) + 3 * x, large.row(dy), 3 * 8) == 0;
                if (same)
                    return std::pair{ScreenPoint{o->x + x, o->y + y}, ScreenPoint{size->x - x, size->y - y}};
            }
        return std::nullopt;
    };
    // Fit may scale the picture by so little that its first pixels match
    // too: the whole visible part must, up to a layout margin short of the
    // window's edges.
    const auto oneToOne = [&] {
        const auto corner = shown();
        if (!corner)
            return false;
        const int width = std::min(large.width(), corner->second.x - 16);
        const int height = std::min(large.height(), corner->second.y - 16);
        if (width < 100 || height < 100)
            return false;
        PictureSurface want(width, height);
        for (int y = 0; y < height; ++y)
            std::memcpy(want.row(y), large.row(y), want.rowBytes());
        return display->grab(corner->first.x, corner->first.y, width, height) == want;
    };
    EXPECT_TRUE(WaitFor(oneToOne)) << "the viewer at 1:1 does not show the picture pixel for pixel";
}

// A file dropped from a file manager loads as Laod would, errors included.
TEST_P(RealWindow, DroppedFileLoadsAsLaodWould) {
    // The source must live until the form has read the drop.
    std::unique_ptr<Child> source;
    const auto drop = [&](const QString& path) {
        source = std::make_unique<Child>(QStringLiteral(QUADFIND_DRAG_SOURCE), QStringList{path},
                                         display->environment());
        std::optional<unsigned long> window;
        ASSERT_TRUE(WaitFor([&] {
            window = display->findWindow([](const QString& t) { return t == QLatin1String("quadfind drag source"); });
            return window.has_value();
        }));
        const auto from = display->origin(*window);
        ASSERT_TRUE(from);
        display->move({from->x + 60, from->y + 40});
        display->button(true);
        // Moves over Image1 until the form takes the drag, then lets go.
        int step = 0;
        const bool accepted = WaitFor([&] {
            display->move(at({150 + step++ % 2, 150}));
            return source->output().contains(QLatin1String("accepted"));
        });
        display->button(false);
        ASSERT_TRUE(accepted) << "the form did not take the dropped file";
    };

    drop(save("small.bmp", small));
    EXPECT_TRUE(viewShows(kImage1, small)) << "after the drop";

    const QString broken = writeBroken();
    drop(broken);
    ASSERT_TRUE(WaitFor([&] { return messageBox().has_value(); })) << "no error box after dropping a broken file";
    const QString text = messageText();
    EXPECT_TRUE(text.contains(QStringLiteral("Cannot load ") + broken + QStringLiteral(": "))) << text.toStdString();
    display->key("Return");
    ASSERT_TRUE(WaitFor([&] { return !messageBox(); })) << "the error box did not close";
    EXPECT_TRUE(viewShows(kImage1, small)) << "a failed drop changed Image1";
}

INSTANTIATE_TEST_SUITE_P(Display, RealWindow, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& run) {
                             return run.param ? "openbox" : "no_window_manager";
                         });

} // namespace

int main(int argc, char** argv) {
    // QProcess wants an application object; this one never opens a window.
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
