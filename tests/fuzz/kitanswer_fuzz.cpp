// Fuzz target: the kit's answer decoding. The input is a frame as it comes
// off the socket: its header, then the answer header (kind, number, status,
// message) and the records that the kit takes from what follows.
#include "vornvdb/CData.h"
#include "vornvdb/RequestFamily.h"
#include "vornvdb/vornkit.h"
#include "vornvdb/vornkit_requests.h"

#include <cstdint>
#include <cstring>

namespace {

template <typename Tag, typename Record>
void takeRecords(const CPACKET& body) {
    CPACKET p(body);
    Record r;
    std::memset(&r, 0, sizeof r);
    for (int i = 0; i < 4 && p.Length() > 0; ++i) vdbreq::Take(p, Tag{}, r);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    std::uint32_t length = 0;
    if (!vornwire::DecodeFrameHeader(data, length)) return 0;
    CPACKET body;
    const std::size_t have = size - 4 < length ? size - 4 : length;
    body.AppendBytes(reinterpret_cast<const char*>(data + 4), have);

    CPACKET answer(body);
    std::uint8_t kind = 0;
    std::uint16_t number = 0;
    std::uint32_t status = 0;
    CSTRING message;
    answer.TakeU8(kind).TakeU16(number).TakeU32(status).TakeShortItem(message);
    // The Export reply: three numbers, document, text, two numbers, message.
    std::uint32_t a = 0, b = 0, c = 0, f = 0, result = 0;
    CLSTRING document, text;
    CSTRING reply;
    answer.TakeU32(a).TakeU32(b).TakeU32(c).TakeLongItem(document).TakeLongItem(text);
    answer.TakeU32(f).TakeU32(result).TakeShortItem(reply);
    volatile std::size_t sink = message.Length() + document.Length() + text.Length() + reply.Length();
    if (document.Length() && document.Data()) sink = sink + static_cast<unsigned char>(document.Data()[document.Length() - 1]);
    (void)sink;

    takeRecords<vdbreq::def, VDBDEFREC>(body);
    takeRecords<vdbreq::fspec, VDBFIELDSPEC>(body);
    takeRecords<vdbreq::seps, VDBTEXTSEPS>(body);
    takeRecords<vdbreq::profile, VDBUSERPROFILE>(body);
    takeRecords<vdbreq::cluster, VDBDBCLUSTER>(body);
    return 0;
}
