// CRC-16 routines: one CRC with the polynomial 0x1021 in two forms.
//
// Principles of operation
//   Crc16Plain is the remainder of the message itself: the value stored in an
//   image file's header and shown by the file check. Crc16Xmodem is the same
//   register flushed with two zero bytes: the standard CRC-16/XMODEM that ends
//   every upload block. The two differ for the same data; each user takes the
//   form it needs.
//
//   Crc16Update is the bit-by-bit definition: each data bit is shifted into
//   the register from below. Crc16UpdateBytes gives the same register sixteen
//   bytes at a time from constant tables (slicing by sixteen), fast enough for
//   files of gigabytes; the tests hold it to the bitwise routine. Nothing is
//   allocated and the tables are built at compile time.
//
// Threads: pure functions; each caller owns its register.
#pragma once

#include <cstddef>
#include <cstdint>

// Feeds one byte into the register, most significant bit first.
void Crc16Update(std::uint16_t& reg, std::uint8_t byte);

// Feeds count bytes into the register: the same as Crc16Update on each.
void Crc16UpdateBytes(std::uint16_t& reg, const std::uint8_t* data, std::size_t count);

// The plain form over count bytes of data from index start; 0 for no bytes.
std::uint16_t Crc16Plain(const std::uint8_t* data, std::size_t start, std::size_t count);

// The XMODEM form over count bytes of data.
std::uint16_t Crc16Xmodem(const std::uint8_t* data, std::size_t count);
