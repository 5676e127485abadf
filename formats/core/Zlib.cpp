#include "formats/core/Zlib.h"

#include "formats/core/Limits.h"
#include "formats/core/Stop.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <memory>

namespace Formats {

namespace {

// Work between two looks at the stop flag.
constexpr std::size_t Slice = std::size_t{16} << 20;

}  // namespace

Bytes inflated(std::string_view packed, std::uint64_t size, const std::string &what, bool raw) {
    if (size > Limits::UnpackedSize ||
        (size > Limits::RatioCheckedFrom && size / Limits::CompressionRatio > packed.size()) ||
        packed.size() > std::numeric_limits<uInt>::max()) {
        throw Refused(what + ": unpacks to too much", Cause::TooLarge);
    }
    z_stream stream{};
    if (inflateInit2(&stream, raw ? -MAX_WBITS : MAX_WBITS) != Z_OK) {
        throw Refused(what + ": cannot unpack");
    }
    const std::unique_ptr<z_stream, int (*)(z_stream *)> ending(&stream, inflateEnd);
    Bytes bytes(static_cast<std::size_t>(size), '\0');
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(packed.data()));
    stream.avail_in = static_cast<uInt>(packed.size());
    int status = Z_OK;
    // One byte of room past the end tells a stream that unpacks to more than it claims.
    char beyond = 0;
    while (status == Z_OK) {
        throwIfStopped();
        const std::size_t done = stream.total_out;
        if (done < bytes.size()) {
            stream.next_out = reinterpret_cast<Bytef *>(bytes.data() + done);
            stream.avail_out = static_cast<uInt>(std::min(Slice, bytes.size() - done));
        } else {
            stream.next_out = reinterpret_cast<Bytef *>(&beyond);
            stream.avail_out = 1;
        }
        status = inflate(&stream, Z_NO_FLUSH);
        if (stream.total_out > bytes.size()) {
            break;
        }
    }
    if (status != Z_STREAM_END || stream.total_out != bytes.size()) {
        throw Refused(what + ": does not unpack");
    }
    return bytes;
}

// The same stream compress() makes, a slice at a time.
Bytes deflated(std::string_view bytes) {
    z_stream stream{};
    if (deflateInit(&stream, Z_DEFAULT_COMPRESSION) != Z_OK) {
        throw Refused("cannot pack");
    }
    const std::unique_ptr<z_stream, int (*)(z_stream *)> ending(&stream, deflateEnd);
    Bytes packed(deflateBound(&stream, static_cast<uLong>(bytes.size())), '\0');
    stream.next_out = reinterpret_cast<Bytef *>(packed.data());
    stream.avail_out = static_cast<uInt>(packed.size());
    int status = Z_OK;
    for (std::size_t at = 0; status == Z_OK;) {
        throwIfStopped();
        const std::size_t size = std::min(Slice, bytes.size() - at);
        stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.data() + at));
        stream.avail_in = static_cast<uInt>(size);
        at += size;
        status = deflate(&stream, at < bytes.size() ? Z_NO_FLUSH : Z_FINISH);
    }
    if (status != Z_STREAM_END) {
        throw Refused("cannot pack");
    }
    packed.resize(stream.total_out);
    return packed;
}

std::uint32_t crc32Of(std::string_view bytes) {
    uLong crc = crc32(0, Z_NULL, 0);
    for (std::size_t at = 0; at < bytes.size(); at += Slice) {
        throwIfStopped();
        const std::size_t size = std::min(Slice, bytes.size() - at);
        crc =
            crc32(crc, reinterpret_cast<const Bytef *>(bytes.data() + at), static_cast<uInt>(size));
    }
    return static_cast<std::uint32_t>(crc);
}

}  // namespace Formats
