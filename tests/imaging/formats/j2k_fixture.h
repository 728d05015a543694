// OpenJPEG on its own, as the tests' independent JPEG 2000 maker and checker: images of any component
// layout coded to memory, the components of a file decoded from memory, and the PGX and PNM files the
// OpenJPEG tools write.
#pragma once

#include <openjpeg.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace zv::j2ktest {

using Bytes = std::vector<uint8_t>;

struct Component {
  uint32_t Dx = 1;
  uint32_t Dy = 1;
  uint32_t Prec = 8;
  bool Signed = false;
  bool Alpha = false;
  uint32_t Width = 0;   // filled by DecodeWithOpenjpeg; given by Encode from the image and the steps
  uint32_t Height = 0;
  std::vector<int32_t> Data;  // Width x Height samples, rows from the top
};

struct Image {
  uint32_t X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
  OPJ_COLOR_SPACE ColorSpace = OPJ_CLRSPC_UNSPECIFIED;
  std::vector<Component> Components;
};

inline uint32_t CeilDiv(uint32_t a, uint32_t b) { return (a + b - 1) / b; }

namespace detail {

struct Memory {
  Bytes* Data;
  size_t Pos;
};

inline OPJ_SIZE_T Read(void* Buffer, OPJ_SIZE_T N, void* User) {
  auto* M = static_cast<Memory*>(User);
  if (M->Pos >= M->Data->size()) return OPJ_SIZE_T(-1);
  const size_t Take = std::min<size_t>(N, M->Data->size() - M->Pos);
  std::memcpy(Buffer, M->Data->data() + M->Pos, Take);
  M->Pos += Take;
  return Take;
}

inline OPJ_SIZE_T Write(void* Buffer, OPJ_SIZE_T N, void* User) {
  auto* M = static_cast<Memory*>(User);
  if (M->Pos + N > M->Data->size()) M->Data->resize(M->Pos + N);
  std::memcpy(M->Data->data() + M->Pos, Buffer, N);
  M->Pos += N;
  return N;
}

inline OPJ_OFF_T Skip(OPJ_OFF_T N, void* User) {
  auto* M = static_cast<Memory*>(User);
  M->Pos += size_t(N);
  return N;
}

inline OPJ_BOOL Seek(OPJ_OFF_T N, void* User) {
  static_cast<Memory*>(User)->Pos = size_t(N);
  return OPJ_TRUE;
}

inline opj_stream_t* StreamOver(Memory& M, bool Input) {
  opj_stream_t* S = opj_stream_create(1 << 16, Input ? OPJ_TRUE : OPJ_FALSE);
  opj_stream_set_user_data(S, &M, nullptr);
  opj_stream_set_user_data_length(S, M.Data->size());
  opj_stream_set_read_function(S, Read);
  opj_stream_set_write_function(S, Write);
  opj_stream_set_skip_function(S, Skip);
  opj_stream_set_seek_function(S, Seek);
  return S;
}

}  // namespace detail

// Codes the image losslessly as a JP2 file (Jp2) or a code stream with as many resolutions as it has
// room for (up to Resolutions); empty when OpenJPEG refuses.
inline Bytes EncodeWithOpenjpeg(const Image& I, bool Jp2, int Resolutions = 3) {
  std::vector<opj_image_cmptparm_t> Parts(I.Components.size());
  for (size_t i = 0; i < Parts.size(); ++i) {
    const Component& C = I.Components[i];
    Parts[i] = opj_image_cmptparm_t{};
    Parts[i].dx = C.Dx;
    Parts[i].dy = C.Dy;
    Parts[i].x0 = CeilDiv(I.X0, C.Dx);
    Parts[i].y0 = CeilDiv(I.Y0, C.Dy);
    Parts[i].w = CeilDiv(I.X1, C.Dx) - Parts[i].x0;
    Parts[i].h = CeilDiv(I.Y1, C.Dy) - Parts[i].y0;
    Parts[i].prec = C.Prec;
    Parts[i].sgnd = C.Signed ? 1 : 0;
  }
  opj_image_t* Img = opj_image_create(OPJ_UINT32(Parts.size()), Parts.data(), I.ColorSpace);
  Img->x0 = I.X0;
  Img->y0 = I.Y0;
  Img->x1 = I.X1;
  Img->y1 = I.Y1;
  for (size_t i = 0; i < Parts.size(); ++i) {
    Img->comps[i].alpha = I.Components[i].Alpha ? 1 : 0;
    const size_t N = size_t(Parts[i].w) * Parts[i].h;
    for (size_t k = 0; k < N; ++k) Img->comps[i].data[k] = k < I.Components[i].Data.size() ? I.Components[i].Data[k] : 0;
  }
  opj_cparameters_t P;
  opj_set_default_encoder_parameters(&P);
  P.tcp_numlayers = 1;
  P.tcp_rates[0] = 0;
  P.cp_disto_alloc = 1;
  P.numresolution = Resolutions;
  Bytes Out;
  detail::Memory M{&Out, 0};
  opj_codec_t* Codec = opj_create_compress(Jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
  opj_stream_t* S = detail::StreamOver(M, false);
  const bool Ok = opj_setup_encoder(Codec, &P, Img) && opj_start_compress(Codec, Img, S) && opj_encode(Codec, S) &&
                  opj_end_compress(Codec, S);
  opj_stream_destroy(S);
  opj_destroy_codec(Codec);
  opj_image_destroy(Img);
  return Ok ? Out : Bytes();
}

// The decoded components of a JP2 file or code stream.
inline std::optional<Image> DecodeWithOpenjpeg(Bytes File) {
  const bool Jp2 = File.size() > 4 && File[4] == 'j';
  detail::Memory M{&File, 0};
  opj_codec_t* Codec = opj_create_decompress(Jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
  opj_dparameters_t P;
  opj_set_default_decoder_parameters(&P);
  opj_setup_decoder(Codec, &P);
  opj_stream_t* S = detail::StreamOver(M, true);
  opj_image_t* Img = nullptr;
  std::optional<Image> Result;
  if (opj_read_header(S, Codec, &Img) && opj_decode(Codec, S, Img) && opj_end_decompress(Codec, S)) {
    Image I;
    I.X0 = Img->x0;
    I.Y0 = Img->y0;
    I.X1 = Img->x1;
    I.Y1 = Img->y1;
    I.ColorSpace = Img->color_space;
    for (uint32_t i = 0; i < Img->numcomps; ++i) {
      const opj_image_comp_t& c = Img->comps[i];
      Component C;
      C.Dx = c.dx;
      C.Dy = c.dy;
      C.Prec = c.prec;
      C.Signed = c.sgnd != 0;
      C.Alpha = c.alpha != 0;
      C.Width = c.w;
      C.Height = c.h;
      C.Data.assign(c.data, c.data + size_t(c.w) * c.h);
      I.Components.push_back(std::move(C));
    }
    Result = std::move(I);
  }
  if (Img != nullptr) opj_image_destroy(Img);
  opj_stream_destroy(S);
  opj_destroy_codec(Codec);
  return Result;
}

// A binary PGM or PPM (maxval up to 65535) as written by opj_decompress: samples in channel order.
struct Pnm {
  uint32_t Width = 0, Height = 0, MaxVal = 0, Channels = 0;
  std::vector<uint32_t> Samples;
};

inline std::optional<Pnm> ParsePnm(const Bytes& File) {
  size_t Pos = 2;
  if (File.size() < 2 || File[0] != 'P' || (File[1] != '5' && File[1] != '6')) return std::nullopt;
  Pnm P;
  P.Channels = File[1] == '5' ? 1 : 3;
  uint32_t Values[3] = {0, 0, 0};
  for (uint32_t& V : Values) {
    while (Pos < File.size() && (std::isspace(File[Pos]) || File[Pos] == '#')) {
      if (File[Pos] == '#')
        while (Pos < File.size() && File[Pos] != '\n') ++Pos;
      else
        ++Pos;
    }
    while (Pos < File.size() && std::isdigit(File[Pos])) V = V * 10 + uint32_t(File[Pos++] - '0');
  }
  ++Pos;
  P.Width = Values[0];
  P.Height = Values[1];
  P.MaxVal = Values[2];
  const size_t Count = size_t(P.Width) * P.Height * P.Channels;
  const size_t Bytes = P.MaxVal > 255 ? 2 : 1;
  if (File.size() < Pos + Count * Bytes) return std::nullopt;
  for (size_t i = 0; i < Count; ++i)
    P.Samples.push_back(Bytes == 2 ? uint32_t((File[Pos + 2 * i] << 8) | File[Pos + 2 * i + 1]) : File[Pos + i]);
  return P;
}

// One component as opj_decompress writes it to a PGX file: "PG ML +|- prec w h", then big-endian
// samples of 1, 2 or 4 bytes.
inline std::optional<Component> ParsePgx(const Bytes& File) {
  const std::string Text(File.begin(), File.end());
  const size_t Eol = Text.find('\n');
  if (Text.compare(0, 6, "PG ML ") != 0 || Eol == std::string::npos) return std::nullopt;
  char Sign = 0;
  unsigned Prec = 0, W = 0, H = 0;
  if (std::sscanf(Text.c_str() + 6, "%c %u %u %u", &Sign, &Prec, &W, &H) != 4) return std::nullopt;
  Component C;
  C.Prec = Prec;
  C.Signed = Sign == '-';
  C.Width = W;
  C.Height = H;
  const size_t Bytes = Prec <= 8 ? 1 : Prec <= 16 ? 2 : 4;
  size_t Pos = Eol + 1;
  if (File.size() < Pos + size_t(W) * H * Bytes) return std::nullopt;
  for (size_t i = 0; i < size_t(W) * H; ++i, Pos += Bytes) {
    uint32_t v = 0;
    for (size_t k = 0; k < Bytes; ++k) v = (v << 8) | File[Pos + k];
    int32_t s = int32_t(v);
    if (C.Signed && Bytes < 4 && (v >> (8 * Bytes - 1)) != 0) s = int32_t(v) - int32_t(1u << (8 * Bytes));
    C.Data.push_back(s);
  }
  return C;
}

}  // namespace zv::j2ktest
