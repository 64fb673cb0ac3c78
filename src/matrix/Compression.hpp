#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "matrix/ByteSource.hpp"

namespace varnosk {

enum class Compression { None, Gzip, Bzip2, Xz, Zstd };

// The format of data that begins with `head` (its first 16 bytes or all of it), told by its
// magic bytes alone: a file name says nothing reliable.
Compression detectCompression(std::string_view head);

// "gzip", "bzip2", "xz" or "zstd" ("plain text" for None).
const char* compressionName(Compression compression);

// A source that decodes `compressed` as it is read, with the format's own library.
// Concatenated streams (several gzip members, bzip2 streams, xz streams or zstd frames) are
// read one after the other. Data that ends inside a stream throws
//   "error: <name> could not be decompressed: the <format> data is truncated."
// and data the library rejects (bad checksum, bad block, trailing bytes)
//   "error: <name> could not be decompressed: the <format> data is corrupt (<reason>)."
// Bytes decoded before the fault are returned first.
std::unique_ptr<ByteSource> makeDecoder(Compression compression, std::unique_ptr<ByteSource> compressed,
                                        const std::string& name);

}  // namespace varnosk
