// The result panel as plain text: the seven rows of the window's panel, top
// to bottom, each with its Chinese heading, an English gloss and the texts of
// its X and Y fields. The window's "Copy results" and quadfind-cli print
// this same text, so the two never disagree about which field goes where.
//
// Texts are UTF-8. Columns are padded for a terminal, where a CJK ideograph
// takes two cells.
#pragma once

#include "quad_report.h"

#include <array>
#include <string>

namespace quadfind {

struct PanelRow {
    const char* heading; // as the window shows it
    const char* gloss;
    int xField;          // 1 for Edit1 ... 14 for Edit14
    int yField;
};

inline constexpr std::array<PanelRow, 7> kPanelRows{{
    {"整張影像大小", "whole picture size", 3, 4},
    {"四邊形3之座標", "corner 3", 1, 2},
    {"四邊形1之座標", "corner 1", 7, 8},
    {"四邊形2之座標", "corner 2", 9, 10},
    {"四邊形4之座標", "corner 4", 11, 12},
    {"四邊形之大小", "box size", 5, 6},
    {"四邊形之中心座標", "half box size", 13, 14},
}};

// What each field shows: index 0 is Edit1.
using ShownFields = std::array<std::string, FieldTexts::kCount>;

// The fields after a run: a field the run does not write (corners 1 and 3
// when it finds no edge) shows its initial text, "Edit1" ... "Edit14".
ShownFields ShownAfterRun(const FieldTexts& fields);

// The column heading line and the seven rows, each ending in '\n'.
std::string PanelText(const ShownFields& shown);

} // namespace quadfind
