#pragma once

#include <QDataStream>
#include <QVariant>

#include <optional>

namespace quorvia::platform::native {

// Reads one value as QDataStream writes it, but a list's stored length never
// asks for more entries than the bytes left could hold: Qt's own reader
// reserves whatever a damaged length claims, billions of entries included.
// Lists, string lists, byte array lists and maps are read here entry by
// entry; plain values, which Qt reads in bounded steps, are left to it; any
// other type reads as damage, since nothing of ours stores one. Nothing when
// the bytes do not hold such a value.
std::optional<QVariant> readStoredVariant(QDataStream& in);

} // namespace quorvia::platform::native
