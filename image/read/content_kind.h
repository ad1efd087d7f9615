// Telling a file's kind by its first bytes: the image kinds the readers decode, and a name in
// plain words for the common files that are no such image ("a Photoshop document").
//
// Threads: pure functions, any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace content_kind {

// The first bytes the functions below look at; fewer are enough for a short file.
constexpr size_t kHeadBytes = 512;

enum class Kind { kBmp, kPng, kJpeg, kWebp, kGif, kTiff, kHeif, kOther };

// The kind that `head`, the first min(kHeadBytes, file size) bytes of a file, starts as.
Kind KindOf(const uint8_t* head, size_t size);

// What a file of Kind kOther is, for a reason shown to the user: "an empty file", "a Photoshop
// document", "a text file", ..., or "not an image of a kind read here". A static string.
const char* NameOfOther(const uint8_t* head, size_t size);

}  // namespace content_kind
