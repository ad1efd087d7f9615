// The ancillary PNG chunks that carry a source's colour and size into its PNG: the ICC profile
// (iCCP), the sRGB declaration (sRGB), gamma (gAMA), chromaticities (cHRM) and the pixel size
// (pHYs). The readers build or check them here and put them into Bitmap::Ancillary().
//
// Which profiles are written. The PNG written for any source is RGB, RGB with alpha or a palette
// PNG, and a PNG allows only an RGB profile for those colour types. So only an RGB profile of a
// colour source is kept. A grey source's profile is dropped: a grey source is written as a
// palette PNG (or as RGB with the 24-bit option), which a grey profile cannot describe. A CMYK
// source's profile is dropped too: its pixels are turned into RGB, and the profile describes
// inks. A profile that fails the checks of IsUsableRgbProfile is dropped. A dropped profile never
// fails the read: the image converts without it.
//
// Threads: pure functions, any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/png/png_chunk.h"

namespace colour_chunks {

// The largest ICC profile carried. Real profiles are a few kilobytes, large printer profiles
// about 2 MiB; a longer one is dropped before anything is allocated for it.
constexpr uint32_t kMaxIccProfileBytes = 4u << 20;

// The shortest iCCP chunk libpng reads: it takes the first 81 bytes as the profile's name and
// compression method, and passes over a chunk with fewer than 11 bytes after them, whatever its
// name's length. A profile that compresses very well must be stored less tightly to reach it.
constexpr size_t kMinReadableIccpBytes = 81 + 11;

// The profile name written into an iCCP chunk made from a JPEG's or BMP's profile.
inline constexpr char kProfileName[] = "ICC profile";

// True when `profile` is a whole ICC profile for RGB data that a PNG may carry: at least its
// 128-byte header and tag count, at most kMaxIccProfileBytes, a whole number of 32-bit words
// when its major version is 4 or later (older profiles may end anywhere, and libpng reads them
// so), its declared length equal to its size, a 16-bit rendering intent, the signature "acsp",
// data colour space "RGB ", connection space "XYZ " or "Lab ", not an abstract or device-link
// profile, and a tag table whose every tag lies inside the profile.
bool IsUsableRgbProfile(const uint8_t* profile, size_t size);

// Appends an iCCP chunk carrying `profile` (named kProfileName, zlib-compressed, at least
// kMinReadableIccpBytes long) to `chunks` when IsUsableRgbProfile accepts it. Returns true when
// the chunk was added.
bool AddIccProfile(const std::vector<uint8_t>& profile, std::vector<PngChunk>& chunks);

// True when `data`, the data of a PNG iCCP chunk, has a valid profile name (1 to 79 bytes),
// compression method 0, and a zlib stream that inflates completely to at most
// kMaxIccProfileBytes bytes that IsUsableRgbProfile accepts.
bool IsUsableIccpChunk(const std::vector<uint8_t>& data);

// Appends the iCCP chunk of a PNG, whose data is `data`, to `chunks` when IsUsableIccpChunk
// accepts it: as it is, or, when it is shorter than kMinReadableIccpBytes, made anew from its
// profile by AddIccProfile. Returns true when a chunk was added.
bool AddIccpChunk(std::vector<uint8_t> data, std::vector<PngChunk>& chunks);

// True when `data` has the form a chunk of that type must have: sRGB one byte 0 to 3, gAMA four
// bytes from 16 to 625000000 (the gammas libpng takes), cHRM 32 bytes of chromaticities (each x
// and y not negative, x + y at most 1, the white point's y at least 5 in 1/100000), pHYs nine
// bytes with unit 0 or 1 and both sizes non-zero, iCCP as IsUsableIccpChunk; every four-byte
// number at most 2^31 - 1, as in any PNG. False for any other type. libpng drops a PNG's whole
// colour description, its profile too, for a gamma or chromaticities outside these.
bool IsCarriedChunkUsable(const PngChunk& chunk);

// An sRGB chunk with the PNG rendering intent `intent` (0 perceptual, 1 relative colorimetric,
// 2 saturation, 3 absolute colorimetric).
// REQUIRES: intent <= 3.
PngChunk MakeSrgb(uint8_t intent);

// A pHYs chunk: `x` and `y` pixels per unit; `perMetre` selects the metre as unit, otherwise
// the values give only the pixel aspect ratio.
PngChunk MakePhys(uint32_t x, uint32_t y, bool perMetre);

// Pixels per metre for a density in dots per inch (dpcm false) or dots per centimetre, rounded.
// REQUIRES: density <= 65535 (a JFIF density).
uint32_t PixelsPerMetre(uint32_t density, bool dpcm);

}  // namespace colour_chunks
