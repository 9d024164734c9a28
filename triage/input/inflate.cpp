#include "triage/input/inflate.h"

#include <zlib.h>

#include <climits>

namespace triage {

namespace {

constexpr std::size_t kOutBytes = 256 * 1024;

}  // namespace

struct Inflater::Stream {
    z_stream z{};
    bool open = false;
    char out[kOutBytes];
    ~Stream()
    {
        if (open)
            inflateEnd(&z);
    }
};

Inflater::Inflater() : stream_(std::make_unique<Stream>())
{
    // Negative window bits: raw deflate, as zip stores it.
    stream_->open = inflateInit2(&stream_->z, -MAX_WBITS) == Z_OK;
    if (!stream_->open)
        error_ = "cannot start inflating";
}

Inflater::~Inflater() = default;

bool Inflater::Feed(const char* data, std::size_t size, const Out& out)
{
    if (!stream_->open || !error_.empty())
        return false;
    z_stream& z = stream_->z;
    while (size > 0 && !ended_) {
        const std::size_t piece = size > UINT_MAX ? UINT_MAX : size;
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
        z.avail_in = static_cast<uInt>(piece);
        do {
            z.next_out = reinterpret_cast<Bytef*>(stream_->out);
            z.avail_out = static_cast<uInt>(kOutBytes);
            const int status = inflate(&z, Z_NO_FLUSH);
            if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
                error_ = "damaged in the archive: its packed bytes do not inflate";
                return false;
            }
            const std::size_t made = kOutBytes - z.avail_out;
            if (made > 0 && !out(stream_->out, made))
                return false;
            if (status == Z_STREAM_END) {
                ended_ = true;
                break;
            }
            if (status == Z_BUF_ERROR && made == 0)
                break;
        } while (z.avail_in > 0 || z.avail_out == 0);
        data += piece - z.avail_in;
        size -= piece - z.avail_in;
        if (z.avail_in == piece && !ended_)
            break;  // nothing taken: wait for more
    }
    return true;
}

}  // namespace triage
