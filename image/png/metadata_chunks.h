// Writes an image's metadata (image/metadata.h) into its PNG, each chunk where PNG's rules
// place it: sBIT and the carried chunks standing before PLTE with kBeforePlte; bKGD and those
// standing between PLTE and IDAT with kBeforeIdat; the rest with kAfterIdat.
//
// sBIT and bKGD are stated for the kind written, whatever the source's: sBIT clamped to the
// written sample depth (grey takes the largest of red, green and blue; an alpha the source did
// not have is significant in full); bKGD scaled to the written depth, a grey kind taking the
// colour's luminance, a palette kind the index of the entry of that colour (no bKGD when the
// palette has no such entry: the background is only a suggestion to a viewer).
//
// Threads: any thread; calls share nothing.
#pragma once

#include <cstdint>
#include <vector>

#include "image/metadata.h"

class PngChunkWriter;
struct PngLayout;

// Writes the chunks of `metadata` that stand at `place` for a PNG of `layout` whose PLTE is
// `plte` (red, green, blue per entry; empty without PLTE). False when a write fell short.
bool WriteMetadataChunks(PngChunkWriter& chunks, const ImageMetadata& metadata, ChunkPlace place,
                         const PngLayout& layout, const std::vector<uint8_t>& plte);

// The data of the sBIT and bKGD chunks for `layout`; empty when none is written.
std::vector<uint8_t> SignificantBitsData(const SignificantBits& bits, const PngLayout& layout);
std::vector<uint8_t> BackgroundData(const BackgroundColour& colour, const PngLayout& layout,
                                    const std::vector<uint8_t>& plte);
