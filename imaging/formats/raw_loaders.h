// Camera sensor data stored packed, unpacked, interleaved, turned or scrambled: the loaders of each
// camera family, their bit layouts, the Kodak tone curve and the Sony key stream.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/formats/raw_camera.h"

namespace zv {

// Bit layouts of packed groups: 10 bytes to 8 samples (A, B), 12 bytes to 8 (C), 5 bytes to 4 (D).
void UnpackLayoutA(const uint8_t* Group, uint16_t* Samples);
void UnpackLayoutB(const uint8_t* Group, uint16_t* Samples);
void UnpackLayoutC(const uint8_t* Group, uint16_t* Samples);
void UnpackLayoutD(const uint8_t* Group, uint16_t* Samples);

// The 4096-entry tone curve: the identity, or for Kodak files the curve the file stores. Leaves the
// stream at DataOffset.
void KodakCurve(TRawCameraContext& C, std::vector<uint16_t>& Curve);
// XORs Count 32-bit words with the key stream; Start seeds the stream from C.SonyKey.
void SonyDecrypt(TRawCameraContext& C, uint32_t* Words, int32_t Count, bool Start);

// The least sensor data the loader of C can hold its visible image in, at its densest coding: the packing
// of stored samples, one bit a sample for lossless JPEG, three a pixel for Foveon, four bits a block of 64
// for Canon's block coding. Coded is set for the entropy-coded loaders, whose reads the geometry does not
// fix. Bytes is 0 for the loaders of fixed-size cameras.
struct TRawDataBound {
  int64_t Bytes = 0;
  bool Coded = false;
};
TRawDataBound RawLeastData(const TRawCameraContext& C);

void Canon600LoadRaw(TRawCameraContext& C);
void CanonA5LoadRaw(TRawCameraContext& C);
void NikonLoadRaw(TRawCameraContext& C);
void NikonE2100LoadRaw(TRawCameraContext& C);
void NikonE950LoadRaw(TRawCameraContext& C);
void FujiS2LoadRaw(TRawCameraContext& C);
void FujiCommonLoadRaw(TRawCameraContext& C, int32_t NCol, int32_t ICol, int32_t NRow);
void FujiS5000LoadRaw(TRawCameraContext& C);
void FujiS7000LoadRaw(TRawCameraContext& C);
void FujiF700LoadRaw(TRawCameraContext& C);
void RolleiLoadRaw(TRawCameraContext& C);
void PhaseOneLoadRaw(TRawCameraContext& C);
void IxpressLoadRaw(TRawCameraContext& C);
void Packed12LoadRaw(TRawCameraContext& C);
// RawWidth words a row, big- or little-endian; sample = (word x 256) >> (Shift + 8), kept to 16 bits.
void UnpackedLoadRaw(TRawCameraContext& C, bool BigEndian, int32_t Shift);
void UnpackedLoadRawBE0(TRawCameraContext& C);
void UnpackedLoadRawBE2(TRawCameraContext& C);
void UnpackedLoadRawBEMinus2(TRawCameraContext& C);
void UnpackedLoadRawBEMinus4(TRawCameraContext& C);
void UnpackedLoadRawLE2(TRawCameraContext& C);
void OlympusCLoadRaw(TRawCameraContext& C);
void EightBitLoadRaw(TRawCameraContext& C);
void CasioQV5700LoadRaw(TRawCameraContext& C);
void NucoreLoadRaw(TRawCameraContext& C);
void KodakDC120LoadRaw(TRawCameraContext& C);
void KodakEasyLoadRaw(TRawCameraContext& C);
void SonyLoadRaw(TRawCameraContext& C);

}  // namespace zv
