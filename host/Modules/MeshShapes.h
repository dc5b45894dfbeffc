#pragma once

#include "Ondo/GFX/Mesh.h"

namespace Ondo::FlowGraph {
class FilterRegistry;
}

namespace Ondo::Host {

// Procedural meshes with unit normals and texture coordinates, one material
// (named after the shape, with the default colours) and one group. Faces are
// quads where the surface allows (triangles at the poles of the sphere),
// counter-clockwise seen from outside; texture coordinates run from (0, 0) to
// (1, 1) over each grid. Seams repeat their vertices, so that texture
// coordinates and normals stay single-valued. Each shape faces a camera that
// looks down -z at the origin.

// A plane in z = 0 centred on the origin, facing +z: width along x, height
// along y, split into iSegmentsX by iSegmentsY quads.
GFX::Mesh MakePlane(float fWidth, float fHeight, int iSegmentsX, int iSegmentsY);
// A cube centred on the origin with edges of fSize along the axes, each face
// split into iSegments by iSegments quads with the face's normal.
GFX::Mesh MakeCube(float fSize, int iSegments);
// A UV sphere centred on the origin with its poles on the y axis: iSegments
// slices around the axis, iRings bands from pole to pole.
GFX::Mesh MakeSphere(float fRadius, int iSegments, int iRings);
// A torus centred on the origin around the z axis: the tube's centre circle
// has radius fMajorRadius, the tube radius fMinorRadius; iSegments steps
// around the axis, iSides around the tube.
GFX::Mesh MakeTorus(float fMajorRadius, float fMinorRadius, int iSegments, int iSides);

// Registers "Host.Mesh.Plane", "Host.Mesh.Cube", "Host.Mesh.Sphere" and
// "Host.Mesh.Torus": sources of the meshes above on the output "Mesh". Every
// size and tessellation count is a setting with an editor control and an
// optional input of the same label that overrides it while it carries a
// usable value. The mesh is built again, and published as changed, only when
// one of the values in force changed.
void RegisterMeshShapes(FlowGraph::FilterRegistry& registry);

} // namespace Ondo::Host
