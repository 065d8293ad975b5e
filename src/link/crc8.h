#pragma once
// The CRC-8 of the concentrator link: polynomial 0x31 (x^8 + x^5 + x^4 + 1), most significant
// bit first, no final XOR; the header and the payload differ only in the initial value.
//
// The reference is the table form, one byte per step: crc = T[crc ^ b]. Two faster forms give
// exactly the same values: sixteen bytes per step through sixteen tables (any processor), and a
// carry-less multiply form (x86 with PCLMULQDQ) that folds sixteen bytes per instruction pair.
// Crc8 picks the fastest one the processor offers; the others are there for the tests.
#include <cstddef>
#include <cstdint>

namespace zb::link {

// The fastest form available here.
uint8_t Crc8(uint8_t init, const uint8_t* data, size_t size);
// One byte at a time through the 256-entry table.
uint8_t Crc8Bytewise(uint8_t init, const uint8_t* data, size_t size);
// Sixteen bytes per step through sixteen tables.
uint8_t Crc8Sliced(uint8_t init, const uint8_t* data, size_t size);
// True when the processor has the carry-less multiply (and byte shuffle) instructions.
bool Crc8ClmulAvailable();
// The carry-less multiply form; call it only when Crc8ClmulAvailable() is true.
uint8_t Crc8Clmul(uint8_t init, const uint8_t* data, size_t size);

}  // namespace zb::link
