// The result panel's table, the one place it is written: its seven rows top
// to bottom, each with its Chinese heading as the window shows it, an English
// gloss and the fields of its X and Y columns; and each field's name, which is
// its control in the window (app/Unit1.ui), the text it shows until a run
// writes it, and its key in the CLI's JSON lines.
//
// The window's stored layout must agree; the form suite checks it against
// this table.
#pragma once

#include "quad_report.h"

#include <array>
#include <string>

namespace quadfind {

struct PanelRow {
    const char* heading; // UTF-8
    const char* gloss;
    Field x;
    Field y;
};

inline constexpr std::array<PanelRow, 7> kPanelRows{{
    {"整張影像大小", "whole picture size", Field::PictureSizeX, Field::PictureSizeY},
    {"四邊形3之座標", "corner 3", Field::Corner3X, Field::Corner3Y},
    {"四邊形1之座標", "corner 1", Field::Corner1X, Field::Corner1Y},
    {"四邊形2之座標", "corner 2", Field::Corner2X, Field::Corner2Y},
    {"四邊形4之座標", "corner 4", Field::Corner4X, Field::Corner4Y},
    {"四邊形之大小", "box size", Field::BoxWidth, Field::BoxHeight},
    {"四邊形之中心座標", "half box size", Field::HalfWidth, Field::HalfHeight},
}};

static_assert(
    [] {
        std::array<int, kFieldCount> seen{};
        for (const PanelRow& row : kPanelRows)
            for (const Field field : {row.x, row.y})
                ++seen[FieldIndex(field)];
        for (const int times : seen)
            if (times != 1)
                return false;
        return true;
    }(),
    "every field sits in exactly one panel row");

// "Edit1" for Field::Corner3X ... "Edit14".
inline std::string FieldName(Field field) {
    return "Edit" + std::to_string(int(field));
}

} // namespace quadfind
