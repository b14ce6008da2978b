#pragma once

#include <cstring>

#include <QByteArrayView>
#include <QtGlobal>

namespace bco {

// Little-endian numbers at a position the caller has checked to lie inside the bytes.
inline quint8 le8(QByteArrayView bytes, qsizetype pos) {
    return static_cast<quint8>(bytes[pos]);
}
inline quint16 le16(QByteArrayView bytes, qsizetype pos) {
    return static_cast<quint16>(le8(bytes, pos) | (le8(bytes, pos + 1) << 8));
}
inline quint32 le32(QByteArrayView bytes, qsizetype pos) {
    return static_cast<quint32>(le16(bytes, pos)) | (static_cast<quint32>(le16(bytes, pos + 2)) << 16);
}
inline quint64 le64(QByteArrayView bytes, qsizetype pos) {
    return static_cast<quint64>(le32(bytes, pos)) | (static_cast<quint64>(le32(bytes, pos + 4)) << 32);
}
inline double leDouble(QByteArrayView bytes, qsizetype pos) {
    const quint64 bits = le64(bytes, pos);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace bco
