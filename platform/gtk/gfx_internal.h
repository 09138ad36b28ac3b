// What the window needs to show a surface. Platform code only.
#pragma once
#include <cairo.h>

#include "platform/gfx.h"

namespace plat {

struct CSurface::Impl {
    cairo_surface_t* pSurface = nullptr;
    ~Impl() { cairo_surface_destroy(pSurface); }
};

}  // namespace plat
