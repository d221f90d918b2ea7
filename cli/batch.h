// Runs the edge-detection command over a batch of pictures on `jobs`
// threads and prints each picture's result in input order.
//
// Output is byte for byte the same whatever `jobs` is: results wait in a
// window of max(16, 2 x jobs) slots (result_window.h) until every picture
// before them is printed, so a slow picture holds the others back rather than
// letting memory grow. Each job keeps its picture, its working copy, its
// intensity grid and its pass's workspace, reused from one picture to the
// next, so that pictures of one size allocate nothing; the jobs' detections
// run side by side.
// Safe to call again: a batch leaves nothing behind but the blocked signals
// (signal_watcher.h).
// Overlays are written by the jobs and put in place, in order, just before
// their picture's line is printed: a printed line means its overlay is in
// place, and with Durability::OnDisk (--sync) that it is on the disk.
#pragma once

#include "bmp_writer.h"
#include "edge_rule.h"
#include "picture_file.h"

#include <string>
#include <vector>

namespace quadfind::cli {

struct Batch {
    std::vector<std::string> pictures;
    std::vector<std::string> overlays; // one a picture, or none
    bool json = false;
    LoadLimits limits;
    std::string decimalSeparator;
    int jobs = 1;
    int minSum = edge_rule::kThreshold;          // an edge: GradientY + GradientX >= minSum
    Durability durability = Durability::InPlace; // of the overlays
};

// Exit status: 0 every picture processed, 1 any picture failed or standard
// output could not be written (which ends the run at once).
int RunBatch(const Batch& batch);

} // namespace quadfind::cli
