#!/usr/bin/python3
"""Makes the DICOM reader tests' fixtures in the folder given: native files written by pydicom, RLE and
lossless JPEG files compressed by dcmtk (dcmcrle, dcmcjpeg), JPEG 2000 code streams from opj_compress.
Beside each NAME.dcm: NAME.raw, the frame's samples as pydicom reads them (after dcmdrle or dcmdjpeg for the
compressed ones), little-endian, and NAME.txt: rows, columns, samples, bits stored, sample type,
photometric, the frame those samples are and the frame index to ask for."""
import os, subprocess, sys
import numpy as np
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.encaps import encapsulate
from pydicom.uid import (ExplicitVRBigEndian, ExplicitVRLittleEndian, ImplicitVRLittleEndian, generate_uid)
import pydicom

out = sys.argv[1]
os.makedirs(out, exist_ok=True)
rng = np.random.default_rng(39)


def dataset(shape, bits_alloc, bits_stored, signed, photometric, ts, frames=1, planar=None):
    meta = FileMetaDataset()
    meta.MediaStorageSOPClassUID = "1.2.840.10008.5.1.4.1.1.7"
    meta.MediaStorageSOPInstanceUID = generate_uid()
    meta.TransferSyntaxUID = ts
    ds = Dataset()
    ds.file_meta = meta
    ds.preamble = b"\0" * 128
    ds.is_little_endian = ts != ExplicitVRBigEndian
    ds.is_implicit_VR = ts == ImplicitVRLittleEndian
    ds.SOPClassUID = meta.MediaStorageSOPClassUID
    ds.SOPInstanceUID = meta.MediaStorageSOPInstanceUID
    ds.PatientName = "Test^Zonvark"
    ds.Modality = "OT"
    ds.SeriesDescription = "An explicit text long enough " * 3
    ds.Rows, ds.Columns = shape[0], shape[1]
    ds.SamplesPerPixel = 3 if photometric == "RGB" else 1
    ds.PhotometricInterpretation = photometric
    ds.BitsAllocated = bits_alloc
    ds.BitsStored = bits_stored
    ds.HighBit = bits_stored - 1
    ds.PixelRepresentation = 1 if signed else 0
    if frames > 1:
        ds.NumberOfFrames = frames
    if planar is not None:
        ds.PlanarConfiguration = planar
    return ds


def save(name, ds, frame=0):
    path = os.path.join(out, name + ".dcm")
    ds.save_as(path, write_like_original=False)
    return path


def expect(name, arr, ds, frame=0, index=None):
    """The frame's samples as pydicom gives them, little-endian, and a line describing them."""
    a = np.asarray(arr)
    if int(getattr(ds, "NumberOfFrames", 1)) > 1:
        a = a[frame]
    dt = a.dtype
    kind = ("i" if dt.kind == "i" else "u") + str(dt.itemsize * 8)
    a.astype(dt.newbyteorder("<")).tofile(os.path.join(out, name + ".raw"))
    with open(os.path.join(out, name + ".txt"), "w") as f:
        f.write("%d %d %d %d %s %s %d %d\n" % (ds.Rows, ds.Columns, ds.SamplesPerPixel, ds.BitsStored, kind,
                                            ds.PhotometricInterpretation.replace(" ", "_"), frame,
                                            frame if index is None else index))


def native(name, arr, bits_alloc, bits_stored, signed, photometric, ts, frames=1, planar=None, frame=0, index=None,
           extra=None):
    ds = dataset(arr.shape[-3:-1] if photometric == "RGB" else arr.shape[-2:], bits_alloc, bits_stored, signed,
                 photometric, ts, frames, planar)
    if extra:
        extra(ds)
    data = arr
    if photometric == "RGB" and planar == 1:
        data = np.ascontiguousarray(np.moveaxis(arr, -1, -3))
    order = ">" if ts == ExplicitVRBigEndian else "<"
    ds.PixelData = data.astype(data.dtype.newbyteorder(order)).tobytes()
    path = save(name, ds)
    back = pydicom.dcmread(path)
    expect(name, back.pixel_array, back, frame, index)
    return path


def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def compressed(tool_args, name, source):
    path = os.path.join(out, name + ".dcm")
    run(*tool_args, source, path)
    plain = os.path.join(out, name + ".plain.dcm")
    tool = "dcmdrle" if tool_args[0] == "dcmcrle" else "dcmdjpeg"
    run(tool, path, plain)
    back = pydicom.dcmread(plain)
    expect(name, back.pixel_array, back)


g8 = rng.integers(0, 256, (9, 13), dtype=np.uint8)
g8[0, :4] = [0, 255, 1, 254]
g16 = rng.integers(0, 65536, (10, 11), dtype=np.uint16)
s12 = rng.integers(-2048, 2048, (8, 9), dtype=np.int16)
s16 = rng.integers(-32768, 32768, (6, 7), dtype=np.int16)
rgb = rng.integers(0, 256, (7, 5, 3), dtype=np.uint8)
multi = rng.integers(0, 256, (3, 4, 6), dtype=np.uint8)
u12 = rng.integers(0, 4096, (12, 10), dtype=np.uint16)
idx = rng.integers(0, 256, (6, 8), dtype=np.uint8)

native("implicit8", g8, 8, 8, False, "MONOCHROME2", ImplicitVRLittleEndian)
native("explicit16", g16, 16, 16, False, "MONOCHROME2", ExplicitVRLittleEndian)
native("big16s", s16, 16, 16, True, "MONOCHROME2", ExplicitVRBigEndian)
native("mono1_12s", s12, 16, 12, True, "MONOCHROME1", ExplicitVRLittleEndian)
native("multi_f2", multi, 8, 8, False, "MONOCHROME2", ExplicitVRLittleEndian, frames=3, frame=2)
native("multi_f9", multi, 8, 8, False, "MONOCHROME2", ExplicitVRLittleEndian, frames=3, frame=2, index=9)
native("rgb_planar0", rgb, 8, 8, False, "RGB", ExplicitVRLittleEndian, planar=0)
native("rgb_planar1", rgb, 8, 8, False, "RGB", ImplicitVRLittleEndian, planar=1)


def palette(bits):
    def extra(ds):
        n = 256
        r = (np.arange(n) * 257).astype("<u2")
        g = ((255 - np.arange(n)) * 257).astype("<u2")
        b = ((np.arange(n) * 7 % 256) * 257 + 3).astype("<u2")
        if bits == 8:
            b = ((np.arange(n) * 7 % 256) * 257).astype("<u2")
        desc = [n, 0, 16]
        ds.RedPaletteColorLookupTableDescriptor = desc
        ds.GreenPaletteColorLookupTableDescriptor = desc
        ds.BluePaletteColorLookupTableDescriptor = desc
        ds.RedPaletteColorLookupTableData = r.tobytes()
        ds.GreenPaletteColorLookupTableData = g.tobytes()
        ds.BluePaletteColorLookupTableData = b.tobytes()
    return extra


native("palette8", idx, 8, 8, False, "PALETTE COLOR", ExplicitVRLittleEndian, extra=palette(8))
native("palette16", idx.astype(np.uint16), 16, 16, False, "PALETTE COLOR", ExplicitVRLittleEndian, extra=palette(16))
with open(os.path.join(out, "palette.lut"), "wb") as f:
    n = np.arange(256)
    np.stack([n * 257, (255 - n) * 257, (n * 7 % 256) * 257 + 3]).astype("<u2").tofile(f)

u12path = native("native12", u12, 16, 12, False, "MONOCHROME2", ExplicitVRLittleEndian)

# RLE and lossless JPEG through dcmtk.
src = {n: os.path.join(out, n + ".dcm") for n in ["implicit8", "explicit16", "mono1_12s", "rgb_planar0", "multi_f2"]}
compressed(["dcmcrle"], "rle8", src["implicit8"])
compressed(["dcmcrle"], "rle16", src["explicit16"])
compressed(["dcmcrle"], "rle12s", src["mono1_12s"])
compressed(["dcmcrle"], "rlergb", src["rgb_planar0"])
compressed(["dcmcjpeg", "+e1"], "ljsv1_8", src["implicit8"])
compressed(["dcmcjpeg", "+e1"], "ljsv1_16", src["explicit16"])
compressed(["dcmcjpeg", "+e1"], "ljsv1_12s", src["mono1_12s"])
compressed(["dcmcjpeg", "+e1"], "ljsv1_rgb", src["rgb_planar0"])
for sv in range(1, 8):
    compressed(["dcmcjpeg", "+el", "+sv", str(sv)], "lj14_sv%d" % sv, src["explicit16"])
compressed(["dcmcjpeg", "+el", "+sv", "4"], "lj14_rgb", src["rgb_planar0"])
compressed(["dcmcjpeg", "+el", "+sv", "6"], "lj14_12", u12path)
compressed(["dcmcjpeg", "+eb"], "jpeg8", src["implicit8"])
compressed(["dcmcjpeg", "+eb"], "jpegrgb", src["rgb_planar0"])
# Multi-frame lossless, one fragment per frame and an empty offset table: frame 2.
path = os.path.join(out, "lj_multi.dcm")
run("dcmcjpeg", "+e1", "-ot", src["multi_f2"], path)
back = pydicom.dcmread(src["multi_f2"])
expect("lj_multi", back.pixel_array, back, 2)
path = os.path.join(out, "lj_multi_ot.dcm")
run("dcmcjpeg", "+e1", src["multi_f2"], path)
expect("lj_multi_ot", back.pixel_array, back, 1)


# JPEG 2000 code streams from opj_compress, encapsulated by pydicom.
def j2k(name, arr, bits, ts):
    pgm = os.path.join(out, name + ".pgm")
    with open(pgm, "wb") as f:
        f.write(b"P5\n%d %d\n%d\n" % (arr.shape[1], arr.shape[0], (1 << bits) - 1))
        f.write(arr.astype(">u2" if bits > 8 else "u1").tobytes())
    code = os.path.join(out, name + ".j2k")
    run("opj_compress", "-n", "2", "-i", pgm, "-o", code)
    ds = dataset(arr.shape, 16 if bits > 8 else 8, bits, False, "MONOCHROME2", ExplicitVRLittleEndian)
    ds.file_meta.TransferSyntaxUID = ts
    ds.PixelData = encapsulate([open(code, "rb").read()])
    ds["PixelData"].VR = "OB"
    ds["PixelData"].is_undefined_length = True
    save(name, ds)
    expect(name, arr, ds)


j2k("j2k8", g8, 8, "1.2.840.10008.1.2.4.90")
j2k("j2k12", u12, 12, "1.2.840.10008.1.2.4.91")
print("ok")
