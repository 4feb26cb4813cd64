#pragma once
// Builds small PNG streams chunk by chunk for reader tests, and takes PNG streams apart.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace gw::test {

struct PngChunk {
    std::string Type;
    std::vector<std::uint8_t> Data;
};

// One chunk with its length and CRC.
std::vector<std::uint8_t> PngChunkBytes(const std::string& type,
                                        const std::vector<std::uint8_t>& data);

// A complete PNG: signature, IHDR, the extra chunks, one IDAT holding the packed rows
// (each rowBytes long, filter type 0 is added) and IEND.
std::vector<std::uint8_t> BuildPng(std::uint32_t width, std::uint32_t height, int bitDepth,
                                   int colorType, const std::vector<std::uint8_t>& rows,
                                   const std::vector<PngChunk>& extra = {});

// The chunks of a PNG stream in order (empty when the signature is missing).
std::vector<PngChunk> ParsePngChunks(std::span<const std::uint8_t> png);
// The first chunk of a type, or null.
const PngChunk* FindPngChunk(const std::vector<PngChunk>& chunks, const std::string& type);

// Big-endian helpers for chunk payloads.
void PutU32be(std::vector<std::uint8_t>& out, std::uint32_t v);
std::uint32_t GetU32be(const std::uint8_t* p);

}  // namespace gw::test
