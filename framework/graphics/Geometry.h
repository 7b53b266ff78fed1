// Geometry: one include for the value types of the drawing layer (colour, rectangles and
// points, vectors, matrices and Transform).
#pragma once

#include "graphics/Color.h"
#include "graphics/Matrix.h"
#include "graphics/Rect.h"
#include "graphics/Transform.h"
#include "graphics/Vector.h"
