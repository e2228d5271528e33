// Data packets: the CBOR documents in which query results cross the host boundary.
// The format is described for host authors in docs/packet-format.md.
#pragma once

#include "DataStore.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace sqda {
class PacketWriter;
}

namespace sqda::Packet {

// Limits a packet must keep; larger ones are refused, never partly loaded.
constexpr int MaxFields = 4096;
constexpr qsizetype MaxNameLength = 256;

QByteArray encode(const DataStore &store);

// The part of a packet before its rows: the top-level map, the field list and
// the head of the rows array. Rows follow as arrays of one value per field.
void writeHeader(PacketWriter &w, const FieldDefs &defs, qsizetype rowCount);

// Strict decoding: a packet that is malformed, truncated, oversized or whose
// values do not match their field types yields no store and an error text.
std::optional<DataStore> decode(const QByteArray &packet, QString *error);

} // namespace sqda::Packet
