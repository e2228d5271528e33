// libFuzzer target: the packet decoder must refuse or accept any input without
// crashing, and whatever it accepts must survive a round trip unchanged.
#include "data/Packet.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto store = sqda::Packet::decode(bytes);
    if (!store)
        return 0;
    const QByteArray again = sqda::Packet::encode(*store);
    const auto back = sqda::Packet::decode(again);
    if (!back || back->rowCount() != store->rowCount() || sqda::Packet::encode(*back) != again)
        std::abort();
    return 0;
}
