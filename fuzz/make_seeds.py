#!/usr/bin/env python3
"""Writes the small seed files of the fuzz targets into fuzz/corpus/<target>/.

Every seed is a few dozen bytes made here, except the JPEG and OpenEXR
pictures, two PNGs and a glTF box, which are copies of files in tests/data
(their licences are in tests/data/LICENSE.md and tests/data/meshes/LICENSE.md).
Run from anywhere; files are overwritten."""
import gzip, os, shutil, struct, zlib

root = os.path.dirname(os.path.abspath(__file__))
repo = os.path.dirname(root)


def put(target, name, data):
    folder = os.path.join(root, 'corpus', target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data.encode() if isinstance(data, str) else data)


def copy(target, name):
    put(target, name, open(os.path.join(repo, 'tests', 'data', name), 'rb').read())


def png(width, height, depth, colour, rows, extra=b''):
    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    raw = b''.join(b'\0' + row for row in rows)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, depth, colour, 0, 0, 0)) +
            extra + chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b''))


put('fuzz_image_png', 'grey.png', png(2, 2, 8, 0, [b'\x00\xff', b'\x80\x40']))
put('fuzz_image_png', 'rgba.png', png(3, 1, 8, 6, [bytes(range(12))]))
put('fuzz_image_png', 'palette.png', png(2, 1, 8, 3, [b'\x00\x01'], struct.pack('>I', 6) + b'PLTE' +
                                         b'\xff\x00\x00\x00\xff\x00' + struct.pack('>I', zlib.crc32(
                                             b'PLTE\xff\x00\x00\x00\xff\x00'))))
copy('fuzz_image_png', 'basn0g16.png')
copy('fuzz_image_png', 'basn4a08.png')
copy('fuzz_image_jpeg', 'video-001.jpeg')
copy('fuzz_image_exr', 'python.exr')

# TGA: uncompressed true colour, and run-length coded with alpha.
put('fuzz_image_tga', 'rgb.tga', struct.pack('<BBBHHBHHHHBB', 0, 0, 2, 0, 0, 0, 0, 0, 2, 2, 24, 0) + bytes(range(12)))
put('fuzz_image_tga', 'rle.tga', struct.pack('<BBBHHBHHHHBB', 0, 0, 10, 0, 0, 0, 0, 0, 2, 2, 32, 8) +
    b'\x83\x10\x20\x30\x40')
# BMP: 24 bits, rows padded to four bytes, bottom-up.
pixels = b'\x00\x00\xff\xff\xff\xff\x00\x00' + b'\x00\xff\x00\x00\x00\x00\x00\x00'
put('fuzz_image_bmp', 'rgb.bmp', b'BM' + struct.pack('<IHHI', 54 + len(pixels), 0, 0, 54) +
    struct.pack('<IiiHHIIiiII', 40, 2, 2, 1, 24, 0, len(pixels), 2835, 2835, 0, 0) + pixels)
# Radiance: flat pixels, and one run-length scanline.
put('fuzz_image_hdr', 'flat.hdr', b'#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 2 +X 2\n' + bytes([128, 64, 32, 129] * 4))
put('fuzz_image_hdr', 'rle.hdr', b'#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 1 +X 8\n' + bytes([2, 2, 0, 8]) +
    bytes([136, 100, 136, 50, 136, 25, 136, 130]))

# DDS: 2 x 2 RGBA8 and one DXT1 block.
def dds(width, height, pixel_format, data):
    header = struct.pack('<7I', 124, 0x100F, height, width, len(data), 0, 0) + b'\0' * 44 + pixel_format + \
             struct.pack('<5I', 0x1000, 0, 0, 0, 0)
    return b'DDS ' + header + data
put('fuzz_image_dds', 'rgba.dds', dds(2, 2, struct.pack('<8I', 32, 0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000),
                                     bytes(range(16))))
put('fuzz_image_dds', 'dxt1.dds', dds(4, 4, struct.pack('<2I', 32, 4) + b'DXT1' + struct.pack('<5I', 0, 0, 0, 0, 0),
                                     b'\x00\xf8\xe0\x07\x55\x55\x55\x55'))
# KTX 1: 2 x 2 RGBA8, one level.
put('fuzz_image_ktx', 'rgba.ktx', b'\xabKTX 11\xbb\r\n\x1a\n' +
    struct.pack('<13I', 0x04030201, 0x1401, 1, 0x1908, 0x8058, 0x1908, 2, 2, 0, 0, 1, 1, 0) +
    struct.pack('<I', 16) + bytes(range(16)))

# Volumes of 2 x 2 x 2 bytes.
voxels = bytes(range(0, 80, 10))
meta = 'ObjectType = Image\nNDims = 3\nDimSize = 2 2 2\nElementType = MET_UCHAR\n'
put('fuzz_image_mha', 'local.mha', meta + 'ElementDataFile = LOCAL\n' + voxels.decode('latin-1'))
put('fuzz_image_mha', 'zlib.mha', (meta + 'CompressedData = True\nElementDataFile = LOCAL\n').encode() +
    zlib.compress(voxels))
vti = ('<?xml version="1.0"?>\n<VTKFile type="ImageData" version="1.0" byte_order="LittleEndian" '
       'header_type="UInt32">\n<ImageData WholeExtent="0 1 0 1 0 1" Origin="0 0 0" Spacing="1 1 1">\n'
       '<Piece Extent="0 1 0 1 0 1">\n<PointData Scalars="density">\n')
put('fuzz_image_vti', 'ascii.vti', vti + '<DataArray type="UInt8" Name="density" format="ascii">0 10 20 30 40 50 60 70'
    '</DataArray>\n</PointData>\n</Piece>\n</ImageData>\n</VTKFile>\n')
put('fuzz_image_vti', 'appended.vti', (vti + '<DataArray type="UInt8" Name="density" format="appended" offset="0"/>\n'
    '</PointData>\n</Piece>\n</ImageData>\n<AppendedData encoding="raw">\n_').encode() + struct.pack('<I', 8) + voxels +
    b'\n</AppendedData>\n</VTKFile>\n')
nii = bytearray(352)
struct.pack_into('<i', nii, 0, 348)
struct.pack_into('<8h', nii, 40, 3, 2, 2, 2, 1, 1, 1, 1)
struct.pack_into('<hh', nii, 70, 2, 8)
struct.pack_into('<8f', nii, 76, 0, 1, 1, 1, 1, 1, 1, 1)
struct.pack_into('<f', nii, 108, 352.0)
struct.pack_into('<ff', nii, 112, 1.0, 0.0)
nii[344:348] = b'n+1\0'
put('fuzz_image_nii', 'uchar.nii', bytes(nii) + voxels)
put('fuzz_image_niigz', 'uchar.nii.gz', gzip.compress(bytes(nii) + voxels, mtime=0))

# Meshes: a triangle as OBJ, PLY, STL and OFF, and a textured box as glTF
# 2.0 (binary). The fuzz target takes the first byte for the format:
# 0 obj, 1 ply, 2 stl, 3 off, 4 gltf, 5 glb.
def mesh(name, index, data):
    put('fuzz_mesh', name, bytes([index]) + (data.encode() if isinstance(data, str) else data))
mesh('triangle.obj', 0, 'v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nf 1/1 2/2 3/3\n')
mesh('triangle.ply', 1, 'ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n'
     'property float z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n0 0 0\n1 0 0\n0 1 0\n'
     '3 0 1 2\n')
mesh('triangle.stl', 2, 'solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\n'
     'endloop\nendfacet\nendsolid t\n')
mesh('triangle.off', 3, 'OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n')
mesh('box.glb', 5, open(os.path.join(repo, 'tests', 'data', 'meshes', 'BoxTextured.glb'), 'rb').read())

# Settings of every kind the serializer reads.
put('fuzz_settings', 'all.xml', '<Settings><bOn value="1"/><iValue value="-3"/><uiValue value="7"/>'
    '<fValue value="0.5"/><dValue value="1e300"/><strText value="text"/><strWide value="w&#233;"/>'
    '<Inner><iCount value="2"/><strName value="n"/><vValues><STL_Item><Item value="1"/></STL_Item></vValues></Inner>'
    '<vNames><STL_Item><Item value="a"/></STL_Item></vNames>'
    '<vPorts><STL_Item><PortHandle PortID="0"/></STL_Item><STL_Item><PortHandle PortID="-1"/></STL_Item></vPorts>'
    '<hPort PortID="1"/><hScope ScopeID="0"/></Settings>')
put('fuzz_settings', 'partial.xml', '<Settings><bOn value="0"/><iValue value="x"/></Settings>')

# Graphs: the shipped examples, a timed scope and a document with settings.
for name in sorted(os.listdir(os.path.join(repo, 'examples'))):
    if name.endswith('.xml'):
        put('fuzz_graph', name, open(os.path.join(repo, 'examples', name), 'rb').read())
put('fuzz_graph', 'timed.xml', '<OndoGraph version="1"><Scope name="Root">'
    '<Filter type="Ctrl.TimingScopeOpenGL" name="T"><Boundary label="Image" type="Ondo::OpenGL::TextureObject2D" '
    'mode="3"/><Scope name="Timed Scope" id="0"><Filter type="OpenGL.Texture.Add" name="Add"/>'
    '<Connection from="@scope" output="Image" to="Add" input="Target Texture"/></Scope>'
    '<Settings><hScopeTimed ScopeID="0"/></Settings></Filter>'
    '<Filter type="Host.Constant.Float" name="Gain"><Ports><Port id="1" label="Value" direction="out"/></Ports>'
    '<Control label="Value" value="2.5"/></Filter></Scope></OndoGraph>')
