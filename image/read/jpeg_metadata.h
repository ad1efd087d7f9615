// The metadata of a JPEG's marker segments, for its PNG: the EXIF block of the first APP1 "Exif"
// segment, the XMP packet of the APP1 XMP segment (its extended part, spread over further APP1
// segments, joined into it), and each COM segment as a comment.
//
// Extended XMP. A packet too large for one segment names the GUID of its extension in an
// xmpNote:HasExtendedXMP property; the extension comes in segments holding that GUID, the
// extension's full length and each piece's offset. The pieces of the named GUID are put together
// and, when they cover the whole extension, its descriptions are placed inside the main packet's
// rdf:RDF element, so that the PNG holds one packet with everything. An extension that is
// incomplete, too large, or not in the expected form is noted as left out.
//
// Threads: pure functions, any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class ImageMetadata;

struct JpegSegment {
  int marker = 0;                 // 0xE1 for APP1, 0xFE for COM
  const uint8_t* data = nullptr;  // the segment's contents after its length; not owned
  size_t size = 0;
};

// Adds what `segments` (in file order) hold to `out`. `turnedUpright`: the pixels were turned
// upright by the EXIF Orientation, which the carried copy then says is upright.
void CarryJpegMetadata(const std::vector<JpegSegment>& segments, bool turnedUpright,
                       ImageMetadata& out);
