// EncodePngImage: the whole PNG file of a Bitmap, written to a stream.
//
// The file holds, in this order: the signature; IHDR; the Bitmap's Ancillary() chunks as they
// are held; sBIT and the metadata placed before PLTE; PLTE when the image has a palette (the
// palette of an indexed image, or a suggested palette of an RGB one); tRNS when a palette entry
// is not opaque (or a grey image has a transparent grey); bKGD and the metadata placed before
// IDAT; the IDAT chunks; the metadata placed after them; IEND. See metadata_chunks.h.
//
// The PNG keeps the image's kind of colour and sample depth (png_scanlines.h: palette, grey,
// grey+alpha, RGB, RGBA; 16-bit samples stay 16 bits), unless the reduction is asked for (see
// PngEncodeOptions::reduce).
// The palette of an indexed image is fitted to its depth: entries the depth cannot address are
// dropped, and a palette shorter than the largest index used is padded with black (the colour
// CopyRect gives such indices), so that every index in the PNG is valid. A direct-colour
// image's palette longer than 256 entries is not suggested.
//
// Rows are filtered by libpng's adaptive choice, except for palette images and level 0, whose
// rows are written unfiltered; at level 9 a trial over a sample of the rows chooses the filter of
// the others (png_filter_choice.h). See png_filter.h and, for the compression, png_deflate.h.
//
// Threads: any thread; calls share nothing.
#pragma once

#include <cstdint>
#include <vector>

#include "image/png/png_chunk.h"
#include "image/png/png_deflate.h"

class Bitmap;
class PieceRunner;
class PngColourForm;
class PngChunkWriter;
struct PngLayout;
namespace kiv {
class File;
}

struct PngEncodeOptions {
  int32_t level = 6;       // 0..9; a negative level means 6 and a larger one 9
  bool interlace = false;  // Adam7
  // Filtered data up to this size is compressed in one piece (see png_deflate.h).
  uint64_t wholeBufferBytes = PngCompression::kWholeBufferBytes;
  // The filtered bytes of a piece at the levels that cut the data into pieces (png_deflate.h).
  uint64_t pieceBytes = PngCompression::kPieceBytes;
  // Runs the pieces; null runs them on the calling thread. Not owned.
  PieceRunner* runner = nullptr;
  // Writes the image in the smallest of its reduced forms that keep every pixel (png_reduce.h),
  // or as it is when that is smaller: each form's data is foretold from a sample of its rows,
  // PLTE and tRNS counted. A grey form leaves out the iCCP chunk, whose profile is for RGB.
  bool reduce = false;
  // When set, receives the ancillary chunks written other than tRNS, in file order (what a
  // read-back expects to find; png_read_back.h). Not owned.
  std::vector<PngChunk>* carried = nullptr;
  // Bitmap::SavePng only: the file is put on the storage device through the handle that wrote
  // it before the save returns (ReplacingFile::MakeDurable); a flush that fails fails the save.
  bool durable = false;
  // Bitmap::SavePng only: the temporary is made in the process's room of the target's folder
  // (kiv::ReplacingFile::Place::kInRoom); the caller closes the rooms when its run ends.
  bool inRoom = false;
};

// The compression `options` ask for: the level brought into 0..9, the piece sizes and runner.
// The row filter is left for the caller to choose.
PngCompression CompressionFor(const PngEncodeOptions& options);

// The pieces of the file both the still and the animated writer make (png/apng_writer.h), for
// `image` written in `layout` (ChoosePngLayout's):
// The PLTE data (red, green, blue per entry), empty when no PLTE is written.
std::vector<uint8_t> PaletteData(const Bitmap& image, const PngLayout& layout);
// The tRNS data of the image as it is (not reduced), empty when it has none: the alpha of the
// palette entries up to the last that is not opaque, or the grey sample a grey PNG makes
// transparent.
std::vector<uint8_t> TransparencyData(const Bitmap& image, const PngLayout& layout,
                                      size_t paletteEntries);
// The reduced form among `forms` (ReducedColourForms', all for `image`) whose image data, PLTE
// and tRNS are foretold to take the fewest bytes at `level`, or null when `image` written as it
// is, in `layout`, takes fewer. May throw std::bad_alloc.
const PngColourForm* ChooseColourForm(const Bitmap& image, const PngLayout& layout,
                                      const std::vector<PngColourForm>& forms, int level,
                                      bool interlace);
// What `image` written in `form` (null: as it is) takes: its layout (`layout`, ChoosePngLayout's
// for the image, becomes the form's), its PLTE data (a palette form's own; the image's, or an RGB
// image's suggested palette, otherwise) and its tRNS data. May throw std::bad_alloc.
void TakeForm(const Bitmap& image, const PngColourForm* form, PngLayout& layout,
              std::vector<uint8_t>& palette, std::vector<uint8_t>& transparency);
// Writes the signature and IHDR. Returns false when a write fell short.
bool WriteHeader(PngChunkWriter& chunks, const Bitmap& image, const PngLayout& layout,
                 bool interlace);

// Writes the PNG of `image` to `stream`. Rows the image's reader left pending (Bitmap::Pending)
// are decoded on the way, possibly on the runner's threads; the caller then calls FinishRows to
// learn what the decoding found. Returns false, having written at most part of a file,
// when the image is empty or of a bit count that has no PNG form, an ancillary chunk is not a
// valid ancillary chunk (four ASCII letters, the first lower-case; at most 2^31 - 1 bytes), a
// write to the stream fell short, the pending rows could not be decoded, or memory ran out. May
// throw std::bad_alloc.
bool EncodePngImage(const Bitmap& image, const PngEncodeOptions& options, kiv::File& stream);
