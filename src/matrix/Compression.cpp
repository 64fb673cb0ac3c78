#include "matrix/Compression.hpp"

#include "common/Shown.hpp"

#include <bzlib.h>
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>
#include <zstd_errors.h>

#include <climits>
#include <new>
#include <stdexcept>
#include <vector>

namespace varnosk {

namespace {

constexpr std::string_view kGzipMagic("\x1f\x8b", 2);
constexpr std::string_view kXzMagic(
    "\xfd"
    "7zXZ\0",
    6);
constexpr std::string_view kZstdMagic("\x28\xb5\x2f\xfd", 4);
// A zstd skippable frame (what parallel compressors start with): 0x184D2A50 to 0x184D2A5F.
constexpr std::size_t kZstdSkippableMagicSize = 4;
// "BZh", the block size digit, then a block or the end-of-stream magic.
constexpr std::size_t kBzip2MagicSize = 10;

bool isZstdSkippableMagic(std::string_view bytes) {
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    return (bytes.size() < 1 || (at(0) & 0xf0) == 0x50) && (bytes.size() < 2 || at(1) == 0x2a) &&
           (bytes.size() < 3 || at(2) == 0x4d) && (bytes.size() < 4 || at(3) == 0x18);
}

bool isBzip2Magic(std::string_view bytes) {
    const std::string_view block("1AY&SY", 6);
    const std::string_view end("\x17\x72\x45\x38\x50\x90", 6);
    const std::string_view letters = bytes.substr(0, 3);
    if (letters != std::string_view("BZh").substr(0, letters.size())) return false;
    if (bytes.size() > 3 && (bytes[3] < '1' || bytes[3] > '9')) return false;
    const std::string_view rest = bytes.size() > 4 ? bytes.substr(4, 6) : std::string_view();
    return rest == block.substr(0, rest.size()) || rest == end.substr(0, rest.size());
}

// Whether `bytes` (the data's first bytes, all of it when it is shorter) begin as `magic`
// does, as far as they go.
bool startsLike(std::string_view bytes, std::string_view magic) {
    const std::string_view head = bytes.substr(0, magic.size());
    return head == magic.substr(0, head.size());
}

}  // namespace

Compression detectCompression(std::string_view head) {
    // Data shorter than a signature whose every byte matches it is an archive cut short: the
    // decoder then reports it truncated. A gene called BZh1 goes on with a tab, and so fails
    // the match.
    if (head.empty()) return Compression::None;
    if (startsLike(head, kGzipMagic)) return Compression::Gzip;
    if (startsLike(head, kXzMagic)) return Compression::Xz;
    if (startsLike(head, kZstdMagic)) return Compression::Zstd;
    if (isZstdSkippableMagic(head.substr(0, kZstdSkippableMagicSize))) return Compression::Zstd;
    if (isBzip2Magic(head.substr(0, kBzip2MagicSize))) return Compression::Bzip2;
    return Compression::None;
}

const char* compressionName(Compression compression) {
    switch (compression) {
        case Compression::None: return "plain text";
        case Compression::Gzip: return "gzip";
        case Compression::Bzip2: return "bzip2";
        case Compression::Xz: return "xz";
        case Compression::Zstd: return "zstd";
    }
    return "unknown";
}

namespace {

// The largest zstd window read, 2 GiB (--long=31): the most the format's decoders take.
constexpr int kZstdWindowLogMax = 31;
constexpr char kZstdWindowTooLarge[] =
    "the zstd data needs a window of more than 2 GiB; recompress it with a smaller --long, or none.";

// Compressed bytes are taken from the source in blocks of this size.
constexpr std::size_t kInputBlock = std::size_t{1} << 18;

// What every decoder shares: the compressed input and the two messages.
class Decoder : public ByteSource {
public:
    Decoder(std::unique_ptr<ByteSource> compressed, const std::string& name, Compression format)
        : compressed_(std::move(compressed)), name_(name), format_(format), input_(kInputBlock) {}
    std::uint64_t inputPosition() const override { return compressed_->inputPosition(); }

protected:
    // Takes the next block of compressed input; false at its end.
    bool fill() {
        available_ = compressed_->read(input_.data(), input_.size());
        return available_ > 0;
    }
    const char* input() const { return input_.data(); }
    std::size_t available() const { return available_; }

    [[noreturn]] void truncated() const {
        throw std::runtime_error("error: " + shownPath(name_) + " could not be decompressed: the " +
                                 compressionName(format_) + " data is truncated.");
    }
    [[noreturn]] void unsupported(const std::string& reason) const {
        throw std::runtime_error("error: " + shownPath(name_) + " could not be decompressed: " + reason);
    }
    [[noreturn]] void corrupt(const std::string& reason) const {
        throw std::runtime_error("error: " + shownPath(name_) + " could not be decompressed: the " +
                                 compressionName(format_) + " data is corrupt (" + reason + ").");
    }

private:
    std::unique_ptr<ByteSource> compressed_;
    std::string name_;
    Compression format_;
    std::vector<char> input_;
    std::size_t available_ = 0;
};

// Both libraries count in unsigned int.
unsigned int clampToUInt(std::size_t n) { return n > UINT_MAX ? UINT_MAX : static_cast<unsigned int>(n); }

class GzipDecoder final : public Decoder {
public:
    GzipDecoder(std::unique_ptr<ByteSource> compressed, const std::string& name)
        : Decoder(std::move(compressed), name, Compression::Gzip) {
        // 16 + 15: gzip wrapping only, largest window
        if (inflateInit2(&stream_, 16 + MAX_WBITS) != Z_OK) throw std::bad_alloc();
    }
    ~GzipDecoder() override { inflateEnd(&stream_); }

protected:
    std::size_t readSome(char* out, std::size_t capacity) override {
        const unsigned int room = clampToUInt(capacity);
        stream_.next_out = reinterpret_cast<Bytef*>(out);
        stream_.avail_out = room;
        while (stream_.avail_out == room && !ended_) {
            if (stream_.avail_in == 0) {
                if (!fill()) {
                    if (in_member_) truncated();
                    ended_ = true;
                    break;
                }
                stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input()));
                stream_.avail_in = clampToUInt(available());
                if (!in_member_) {
                    // more bytes after a complete member: the next member
                    inflateReset(&stream_);
                    in_member_ = true;
                }
            }
            const int status = inflate(&stream_, Z_NO_FLUSH);
            if (status == Z_STREAM_END) {
                in_member_ = false;
                if (stream_.avail_in > 0) {
                    inflateReset(&stream_);
                    in_member_ = true;
                }
            } else if (status == Z_MEM_ERROR) {
                throw std::bad_alloc();
            } else if (status != Z_OK && status != Z_BUF_ERROR) {
                corrupt(stream_.msg != nullptr ? stream_.msg : "error " + std::to_string(status));
            }
        }
        return room - stream_.avail_out;
    }

private:
    z_stream stream_{};
    bool in_member_ = true;
    bool ended_ = false;
};

class Bzip2Decoder final : public Decoder {
public:
    Bzip2Decoder(std::unique_ptr<ByteSource> compressed, const std::string& name)
        : Decoder(std::move(compressed), name, Compression::Bzip2) {
        start();
    }
    ~Bzip2Decoder() override { BZ2_bzDecompressEnd(&stream_); }

protected:
    std::size_t readSome(char* out, std::size_t capacity) override {
        const unsigned int room = clampToUInt(capacity);
        stream_.next_out = out;
        stream_.avail_out = room;
        while (stream_.avail_out == room && !ended_) {
            if (stream_.avail_in == 0) {
                if (!fill()) {
                    if (in_stream_) truncated();
                    ended_ = true;
                    break;
                }
                if (!in_stream_) restart();
                stream_.next_in = const_cast<char*>(input());
                stream_.avail_in = clampToUInt(available());
            }
            const int status = BZ2_bzDecompress(&stream_);
            if (status == BZ_STREAM_END) {
                in_stream_ = false;
                // another stream may follow (parallel compressors write several)
                if (stream_.avail_in > 0) restart();
            } else if (status == BZ_MEM_ERROR) {
                throw std::bad_alloc();
            } else if (status == BZ_DATA_ERROR_MAGIC) {
                corrupt("bad stream header");
            } else if (status == BZ_DATA_ERROR) {
                corrupt("bad block or checksum");
            } else if (status != BZ_OK) {
                corrupt("error " + std::to_string(status));
            }
        }
        return room - stream_.avail_out;
    }

private:
    void start() {
        stream_ = bz_stream{};
        if (BZ2_bzDecompressInit(&stream_, 0, 0) != BZ_OK) throw std::bad_alloc();
        in_stream_ = true;
    }
    // A new stream, keeping the buffers of the one that ended.
    void restart() {
        const bz_stream buffers = stream_;
        BZ2_bzDecompressEnd(&stream_);
        start();
        stream_.next_in = buffers.next_in;
        stream_.avail_in = buffers.avail_in;
        stream_.next_out = buffers.next_out;
        stream_.avail_out = buffers.avail_out;
    }

    bz_stream stream_{};
    bool in_stream_ = true;
    bool ended_ = false;
};

class XzDecoder final : public Decoder {
public:
    XzDecoder(std::unique_ptr<ByteSource> compressed, const std::string& name)
        : Decoder(std::move(compressed), name, Compression::Xz) {
        if (lzma_stream_decoder(&stream_, UINT64_MAX, LZMA_CONCATENATED) != LZMA_OK) throw std::bad_alloc();
    }
    ~XzDecoder() override { lzma_end(&stream_); }

protected:
    std::size_t readSome(char* out, std::size_t capacity) override {
        stream_.next_out = reinterpret_cast<std::uint8_t*>(out);
        stream_.avail_out = capacity;
        while (stream_.avail_out == capacity && !ended_) {
            if (stream_.avail_in == 0 && action_ == LZMA_RUN) {
                if (fill()) {
                    stream_.next_in = reinterpret_cast<const std::uint8_t*>(input());
                    stream_.avail_in = available();
                } else {
                    action_ = LZMA_FINISH;  // the decoder now checks that the last stream is complete
                }
            }
            const lzma_ret status = lzma_code(&stream_, action_);
            switch (status) {
                case LZMA_OK: break;
                case LZMA_STREAM_END: ended_ = true; break;
                case LZMA_BUF_ERROR: truncated();
                case LZMA_MEM_ERROR: throw std::bad_alloc();
                case LZMA_FORMAT_ERROR: corrupt("not an xz stream");
                case LZMA_OPTIONS_ERROR: corrupt("unsupported options");
                case LZMA_DATA_ERROR: corrupt("bad compressed data");
                default: corrupt("error " + std::to_string(static_cast<int>(status)));
            }
        }
        return capacity - stream_.avail_out;
    }

private:
    lzma_stream stream_ = LZMA_STREAM_INIT;
    lzma_action action_ = LZMA_RUN;
    bool ended_ = false;
};

class ZstdDecoder final : public Decoder {
public:
    ZstdDecoder(std::unique_ptr<ByteSource> compressed, const std::string& name)
        : Decoder(std::move(compressed), name, Compression::Zstd), stream_(ZSTD_createDStream()) {
        if (stream_ == nullptr) throw std::bad_alloc();
        // files written with a long window (--long) are valid: take every window the format
        // allows, which the decoder then holds in memory
        ZSTD_DCtx_setParameter(stream_, ZSTD_d_windowLogMax, kZstdWindowLogMax);
    }
    ~ZstdDecoder() override { ZSTD_freeDStream(stream_); }

protected:
    std::size_t readSome(char* out, std::size_t capacity) override {
        ZSTD_outBuffer output{out, capacity, 0};
        while (output.pos == 0) {
            if (input_.pos == input_.size) {
                if (fill()) {
                    input_ = ZSTD_inBuffer{input(), available(), 0};
                } else {
                    // 0 after a frame: every frame is complete and flushed
                    if (frame_hint_ == 0) return 0;
                    // what the decoder still holds is flushed; no progress means a cut frame
                    decode(output);
                    if (output.pos == 0) truncated();
                    break;
                }
            }
            decode(output);
        }
        return output.pos;
    }

private:
    void decode(ZSTD_outBuffer& output) {
        const std::size_t hint = ZSTD_decompressStream(stream_, &output, &input_);
        if (ZSTD_isError(hint)) {
            const ZSTD_ErrorCode code = ZSTD_getErrorCode(hint);
            if (code == ZSTD_error_memory_allocation) throw std::bad_alloc();
            // a window no decoder takes: valid data that cannot be read here, not corrupt data
            if (code == ZSTD_error_frameParameter_windowTooLarge) unsupported(kZstdWindowTooLarge);
            corrupt(ZSTD_getErrorName(hint));
        }
        frame_hint_ = hint;
    }

    ZSTD_DStream* stream_;
    ZSTD_inBuffer input_{nullptr, 0, 0};
    std::size_t frame_hint_ = 1;  // nothing decoded yet: a frame is expected
};

}  // namespace

std::unique_ptr<ByteSource> makeDecoder(Compression compression, std::unique_ptr<ByteSource> compressed,
                                        const std::string& name) {
    switch (compression) {
        case Compression::Gzip: return std::make_unique<GzipDecoder>(std::move(compressed), name);
        case Compression::Bzip2: return std::make_unique<Bzip2Decoder>(std::move(compressed), name);
        case Compression::Xz: return std::make_unique<XzDecoder>(std::move(compressed), name);
        case Compression::Zstd: return std::make_unique<ZstdDecoder>(std::move(compressed), name);
        case Compression::None: break;
    }
    return compressed;
}

}  // namespace varnosk
