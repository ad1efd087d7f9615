// The metadata of a PNG source, for its PNG: every ancillary chunk that stays true after the
// conversion. Text (tEXt, zTXt, iTXt), eXIf and tIME are carried as they are, each where it
// stood relative to PLTE and IDAT (eXIf always before IDAT); bKGD and sBIT are read into the
// forms of image/metadata.h, for the writer to state again for the kind it writes. The colour
// and size chunks and tRNS are the pixel reader's. Any other ancillary chunk follows PNG's copy
// rule: one marked safe to copy is carried where it stood; one not safe to copy (its meaning may
// depend on the pixels that change) is noted as left out, as is a damaged or invalid chunk. An
// animation's chunks are the animation reader's (apng_reader.h).
//
// Threads: any thread; calls share nothing.
#pragma once

namespace kiv {
class File;
}
class ImageMetadata;

// Walks the PNG in `stream` from its start and adds its metadata to `out`. Leaves the stream's
// position anywhere.
void CarryPngMetadata(kiv::File& stream, ImageMetadata& out);
