// ChooseRowFilter: the row filter mode that compresses an image best, found by trial.
//
// Each candidate mode (the usual one, the adaptive choice and each fixed filter) filters the same
// sample of the image's rows, a few bands of consecutive rows spread over its height, which a fast
// libdeflate level then compresses. The mode whose sample comes out smallest is chosen; on a tie
// the usual one, then the earlier candidate. The sample depends on the image alone, so the choice
// does too.
//
// Threads: any thread; calls share nothing.
#pragma once

#include "image/png/png_filter.h"

class PngScanlines;

// The mode to filter `rows` with; `usual` is the mode the writer takes without a trial. Returns
// `usual` when memory for the trial ran out.
PngRowFilter::Mode ChooseRowFilter(const PngScanlines& rows, PngRowFilter::Mode usual);

// The compressed size of the whole image data foretold from the same sample filtered in `mode`:
// the sample's compressed size scaled up by the rows it leaves out. Used to compare forms of one
// image. May throw std::bad_alloc.
uint64_t EstimateCompressedSize(const PngScanlines& rows, PngRowFilter::Mode mode);
