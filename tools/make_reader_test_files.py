#!/usr/bin/python3
"""Writes the DDS, VTK and MetaImage files of tests/data with the writers
people use: ImageMagick for DDS, VTK's own XML and MetaImage writers for
volumes. The voxels come from the NIfTI files beside them, so the tests can
check that every reader gives the same volume. Run once from the repository
root with Debian's imagemagick and python3-vtk9 installed; the files it wrote
are committed and tests/data/LICENSE.md tells where each came from.
"""

import gzip
import struct
import subprocess

import vtk

DATA = "tests/data"


def nifti(path):
    """(sizes, datatype code, voxels) of a single-volume NIfTI-1 file."""
    raw = gzip.open(path).read() if path.endswith(".gz") else open(path, "rb").read()
    order = "<" if struct.unpack("<i", raw[:4])[0] == 348 else ">"
    dims = struct.unpack(order + "8h", raw[40:56])
    code = struct.unpack(order + "h", raw[70:72])[0]
    offset = int(struct.unpack(order + "f", raw[108:112])[0])
    sizes = dims[1:4]
    count = sizes[0] * sizes[1] * sizes[2]
    kind = {2: "B", 16: "f"}[code]
    voxels = struct.unpack(order + str(count) + kind, raw[offset:offset + count * struct.calcsize(kind)])
    return sizes, code, voxels


def image_data(sizes, code, voxels):
    image = vtk.vtkImageData()
    image.SetDimensions(*sizes)
    array = vtk.vtkFloatArray() if code == 16 else vtk.vtkUnsignedCharArray()
    array.SetName("voxels")
    array.SetNumberOfValues(len(voxels))
    for i, value in enumerate(voxels):
        array.SetValue(i, value)
    image.GetPointData().SetScalars(array)
    return image


def write_vti(image, path, ascii_data, header_type):
    writer = vtk.vtkXMLImageDataWriter()
    writer.SetInputData(image)
    writer.SetFileName(path)
    writer.SetCompressorTypeToNone()
    writer.SetHeaderType(header_type)
    if ascii_data:
        writer.SetDataModeToAscii()
    else:
        writer.SetDataModeToAppended()
        writer.EncodeAppendedDataOff()
    assert writer.Write() == 1


def main():
    floats = image_data(*nifti(DATA + "/resampled_anat_moved.nii"))
    mask = image_data(*nifti(DATA + "/standard.nii.gz"))
    write_vti(floats, DATA + "/resampled_anat_ascii.vti", True, vtk.vtkXMLWriter.UInt32)
    write_vti(floats, DATA + "/resampled_anat_raw.vti", False, vtk.vtkXMLWriter.UInt64)
    write_vti(mask, DATA + "/standard_raw.vti", False, vtk.vtkXMLWriter.UInt32)

    meta = vtk.vtkMetaImageWriter()
    meta.SetInputData(floats)
    meta.SetFileName(DATA + "/resampled_anat.mhd")
    meta.SetCompression(True)
    meta.Write()

    # DDS files as ImageMagick writes them: block-compressed and plain, with
    # their mipmap levels, from a crop of a photograph; two get an alpha ramp
    # from 0 at the left to 255 at the right.
    crop = [DATA + "/video-001.jpeg", "-crop", "32x32+60+36", "+repage"]
    ramp = ["-alpha", "set", "-channel", "A", "-fx", "i/(w-1)", "+channel"]
    dds = [
        (crop, "dxt1", 5, "photo_dxt1.dds"),
        (crop + ramp, "dxt5", 5, "photo_alpha_dxt5.dds"),
        ([DATA + "/video-001.jpeg", "-crop", "32x16+60+36", "+repage"], "none", 5, "photo_bgr.dds"),
        (crop + ramp, "none", 0, "photo_alpha_bgra.dds"),
    ]
    for source, compression, levels, name in dds:
        subprocess.run(["convert"] + source + ["-define", "dds:compression=" + compression, "-define",
                                               "dds:mipmaps=" + str(levels), DATA + "/" + name], check=True)

if __name__ == "__main__":
    main()
