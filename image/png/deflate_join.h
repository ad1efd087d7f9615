// Joining deflate streams: the pieces of one zlib stream compressed apart.
//
// A piece of the image data compressed on its own by libdeflate is a whole raw deflate stream:
// its last block carries the final-block flag and it ends with up to seven padding bits. To put
// such pieces one after another in one zlib stream (as parallel gzip does), every piece but the
// last has its final-block flag cleared and ends with a sync flush (an empty stored block), which
// brings the stream back to a byte boundary for the next piece. libdeflate has no option to leave
// the flag out, and the bit where its last block begins is known only by walking the blocks, so
// MakeJoinable decodes the piece's block structure, symbol by symbol, without writing any output.
//
// Threads: pure functions, any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace deflate_join {

// The bytes a sync flush may add at most.
constexpr size_t kMaxAddedBytes = 5;

// Turns `piece`, a complete raw deflate stream, into one that a further piece may follow: clears
// its final-block flag and appends the sync flush. `piece` holds `size` bytes and has room for
// kMaxAddedBytes more. Returns the new size, or 0 when `piece` is not a complete deflate stream
// ending where its bytes end (then its contents are unspecified).
size_t MakeJoinable(uint8_t* piece, size_t size);

// The Adler-32 of two byte runs one after the other, from the checksum of each and the length
// of the second.
uint32_t CombineAdler32(uint32_t first, uint32_t second, uint64_t secondLength);

}  // namespace deflate_join
