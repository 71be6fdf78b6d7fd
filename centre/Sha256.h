#pragma once
// SHA-256 of a whole buffer, as collect names every upload file by it. On
// x86-64 processors with the SHA extensions the rounds run on those
// instructions (several times faster than portable code, and hashing is a
// good part of collecting a small file); elsewhere in portable C++. Both
// give the bytes of FIPS 180-4, the same as QCryptographicHash::Sha256.
#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <cstdint>

namespace centre {

std::array<std::uint8_t, 32> sha256(QByteArrayView bytes);
// Lower-case hex, 64 characters: the form stored in files.sha256.
QByteArray sha256Hex(QByteArrayView bytes);

namespace detail {
// The portable code alone, whatever the processor has (for tests).
std::array<std::uint8_t, 32> sha256Portable(QByteArrayView bytes);
} // namespace detail

} // namespace centre
