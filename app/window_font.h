// The window's font: "MS Sans Serif" at 11 pixels where it exists, otherwise
// the bundled subset of Noto Sans CJK TC, which also carries the Traditional
// Chinese captions on machines that have no CJK font at all.
#pragma once

#include <QFont>
#include <QString>

namespace quadfind {

// The resource path of the bundled font file.
inline constexpr char kBundledFontPath[] = ":/fonts/quadfind-sans-tc.otf";

// Registers the bundled font with the application's font database once and
// returns its family name. Throws std::runtime_error when the resource cannot
// be loaded. Needs a QGuiApplication.
QString RegisterBundledFont();

// The form's font, with the bundled family in its fallback list.
QFont WindowFont();

} // namespace quadfind
