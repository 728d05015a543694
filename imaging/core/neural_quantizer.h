// The self-organising neural-network colour reducer: a one-dimensional network of Count neurons learns
// the colours of a sample of an ie24RGB bitmap and then answers nearest-neuron look-ups.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/core/iedefs.h"

namespace zv {

class TIEBitmap;

struct NeuQuantNeuron {
  int32_t b = 0;
  int32_t g = 0;
  int32_t r = 0;
  int32_t Color = 0;  // the neuron's palette index once learning is done
};

struct NeuQuantNetwork {
  int32_t NetSize = 0;       // n, the number of palette entries
  int32_t MaxNetPos = 0;     // n - 1
  int32_t InitRad = 0;       // n shr 3
  int32_t InitRadius = 0;    // InitRad x 64
  int32_t AlphaDec = 0;
  TIEBitmap* Bitmap = nullptr;
  int64_t LengthCount = 0;   // width x height x 3
  int32_t SampleFac = 1;
  std::vector<NeuQuantNeuron> Network;
  std::vector<int32_t> NetIndex;  // 256 entries: where to start searching for a green level
  std::vector<int32_t> Bias;
  std::vector<int32_t> Freq;
  std::vector<int32_t> RadPower;
  int32_t Width = 0;
  int32_t Height = 0;
};

// Whether learning runs its contests on the processor's vector instructions where it has them (else
// one neuron at a time); the network learnt is the same either way. On by default.
extern bool NeuQuantVectorContest;

// The sampling factor for a picture of Pixels pixels: 1 (every pixel) below 2000 pixels, growing to 30
// from about 315,000 pixels on.
int32_t NeuQuantSampleFactor(int64_t Pixels);

// Learns a network of Count neurons (1..256) from an ie24RGB bitmap and writes its colours into
// Palette[0..Count - 1]. Quality -1 derives the sampling factor from the pixel count; 0..100 sets it
// (100 samples every pixel).
std::unique_ptr<NeuQuantNetwork> NeuQuantBuild(TIEBitmap* Bitmap, TIERGB24* Palette, int32_t Count,
                                               int32_t Quality);
// One learning contest for the colour (b, g, r), x16 scale: the position of the neuron nearest to it
// after each neuron's bias (negative for frequent winners) is counted; updates frequencies and biases.
int32_t NeuQuantContest(NeuQuantNetwork& Net, int32_t b, int32_t g, int32_t r);
// The palette index of the neuron nearest to a packed colour (red in bits 16-23, blue in 0-7).
int32_t NeuQuantLookup(const NeuQuantNetwork& Net, uint32_t Color);

// The learnt network laid out for the look-ups of a whole frame: NeuQuantLookup's answer, found by
// measuring every neuron at once on the processor's vector instructions where it has them. The nearest
// neuron wins; of equally near ones, the one NeuQuantLookup's outward walk in green order meets first.
class TNeuQuantSearcher {
public:
  explicit TNeuQuantSearcher(const NeuQuantNetwork& Net);
  int32_t Lookup(uint32_t Color) const;

private:
  const NeuQuantNetwork& FNet;
  bool FVector = false;
  int32_t FPadded = 0;
  std::vector<int32_t> FB, FG, FR;  // in the network's (green) order, padded with far neurons
};

}  // namespace zv
