// The result panel as plain text: the rows of panel_table.h, top to bottom,
// each with its heading, its gloss and the texts of its X and Y fields. The
// window's "Copy results" and quadfind-cli print this same text, so the two
// never disagree about which field goes where.
//
// Texts are UTF-8. Columns are padded for a terminal, where a CJK ideograph
// takes two cells.
#pragma once

#include "panel_table.h"
#include "quad_report.h"

#include <array>
#include <string>

namespace quadfind {

// What each field shows, at FieldIndex.
using ShownFields = std::array<std::string, kFieldCount>;

// The fields after a run: a field the run does not write (corners 1 and 3
// when it finds no edge) shows its initial text, its FieldName.
ShownFields ShownAfterRun(const FieldTexts& fields);

// The column heading line and the seven rows, each ending in '\n'.
std::string PanelText(const ShownFields& shown);

} // namespace quadfind
