// The picture sizes a HEIF file declares, read from its boxes without decoding, so that the HEIF
// reader can refuse what libheif would allocate before libheif allocates it.
//
// libheif takes an image's size from its size property ("ispe"), but decodes a grid or an
// overlay at the size its own description gives (the item's data, in an "idat" box or in the
// file), whatever the property says; a grid's tiles are decoded at their own sizes, whichever
// the grid says. So the sizes that bound what a decode may allocate are every size property and
// every grid's and overlay's description, of any item (an alpha image may be a grid as well).
//
// Every offset and length is checked against the box that holds it before it is read; boxes are
// walked to a fixed depth. A file whose boxes cannot be walked declares nothing here (libheif
// then refuses it with its own words).
//
// Threads: pure functions, any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace heif_sizes {

struct Size {
  uint32_t width = 0;
  uint32_t height = 0;
  bool derived = false;  // a grid's or overlay's description, not a size property
};

// Every size the file `data` (`size` bytes) declares, in the order found.
std::vector<Size> Declared(const uint8_t* data, size_t size);

}  // namespace heif_sizes
